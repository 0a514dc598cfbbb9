// How a player takes a track that does not end as the format wants: where
// it stops, and what closes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/midi_file.hpp>
#include <span>

namespace mthc::midi {

struct track_repair {
  bool needed = false;
  midi_change_kind kind = midi_change_kind::end_of_track_added;
  // Offset in the track of what the change names, and its `value` (see
  // midi_change_kind).
  std::size_t offset = 0;
  std::size_t value = 0;
  // The repaired track: the first `keep` bytes of the track, then the
  // `suffix_size` bytes of `suffix`.
  std::size_t keep = 0;
  std::array<std::uint8_t, 4> suffix{};
  std::size_t suffix_size = 0;

  std::size_t size() const noexcept { return keep + suffix_size; }
};

// The repair of a track with data, or none (`needed` false) when it reads to
// its end-of-track, or when its first fault is one that a player does not
// get past (see midi_file.hpp). A repaired track reads to its end-of-track
// without a fault.
track_repair plan_track_repair(std::span<const std::uint8_t> track) noexcept;

// Writes the repaired track to `out`, which has room for repair.size() bytes.
void write_repaired_track(std::span<const std::uint8_t> track, const track_repair& repair,
                          std::uint8_t* out) noexcept;

}  // namespace mthc::midi
