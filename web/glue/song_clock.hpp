// When each track of a song plays, for the piano roll and the player: the
// tracks of formats 0 and 1 play together, on one tempo map made of all
// their tempo changes; those of format 2 are sequences played one after
// another, each on its own.
//
//   song_clock clock = start_clock(format, division, tracks);
//   for (const auto& track : tracks) {
//     const tempo_map& map = track_map(clock, track);
//     ... clock.start + seconds_at(map, tick) ...
//     end_track(clock, end_tick);
//   }
#pragma once

#include <cstdint>
#include <span>

#include "midi/tempo_map.hpp"

namespace mthc::web {

struct song_clock {
  std::uint16_t division = 0;
  bool one_after_another = false;
  tempo_map together;
  tempo_map own;     // the track at hand's, when one plays after another
  double start = 0;  // where the track at hand begins, in seconds
};

// Throws std::bad_alloc.
song_clock start_clock(std::uint16_t format, std::uint16_t division,
                       std::span<const std::span<const std::uint8_t>> tracks);

// The tempo map of `track`, the next track in file order. Throws
// std::bad_alloc.
const tempo_map& track_map(song_clock& clock, std::span<const std::uint8_t> track);

// The track at hand ends at `end_tick`: one played after it begins there.
void end_track(song_clock& clock, std::uint64_t end_tick) noexcept;

}  // namespace mthc::web
