// The file in hand of the page's glue (files.cpp), for the song's
// description (song.cpp).
#pragma once

#include <cstdint>
#include <span>

namespace mthc::web {

// The file as the worker gave it.
std::span<const std::uint8_t> input() noexcept;

// What it became: a MIDI file (output_is_midi) or a container; empty until
// then, or after an error.
std::span<const std::uint8_t> output() noexcept;
bool output_is_midi() noexcept;

}  // namespace mthc::web
