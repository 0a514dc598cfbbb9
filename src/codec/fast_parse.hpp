// The fast level's parse: one pass, one candidate per position.
#pragma once

#include <cstdint>
#include <span>

#include "codec/lz_step.hpp"

namespace mthc::codec {

// Greedy parse: at each position the match at the repeated distance and the
// latest earlier position with the same three bytes (from a hash table) are
// measured, and the cheaper per byte of the two is taken if it beats literals.
lz_parse fast_parse(std::span<const std::uint8_t> data);

}  // namespace mthc::codec
