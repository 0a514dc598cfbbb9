// Telling a file that is no container from a damaged one, by its first bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace mthc::app {

// Why a file given to be unpacked or checked is not a container, when its
// first bytes already say so: they differ from "MThc" as far as they go. A
// file that is too short, or too large to be read, but does not begin with
// the tag is no container either, and is called so rather than too small
// or too large. Empty when the first bytes begin the tag: the container's
// own checks then say what is wrong. Throws std::bad_alloc.
std::string not_a_container_text(std::span<const std::uint8_t> head);

}  // namespace mthc::app
