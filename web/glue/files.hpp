// The file in hand of the page's glue (files.cpp), for the song's
// description (song.cpp) and its events (events.cpp).
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

// A track number as the page's 16-bit track arrays hold it: the last value
// stands for every track beyond it.
inline std::uint16_t track_column(std::uint32_t track) noexcept {
  return static_cast<std::uint16_t>(track < 0xFFFF ? track : 0xFFFF);
}

}  // namespace mthc::web
