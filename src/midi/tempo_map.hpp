// From ticks to seconds: the tempo changes of a song, and the time of a tick.
//
// With ticks per quarter note (division below 0x8000) time follows the tempo
// changes (FF 51, microseconds per quarter note; 500000, 120 beats a minute,
// until the first). With SMPTE time (division 0x8000 and up: the high byte is
// minus the frames per second, 29 meaning 29.97, the low byte the ticks per
// frame) a tick is a fixed time and tempo changes do not count.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mthc {
struct track_event;
}

namespace mthc::midi {

struct tempo_change {
  std::uint64_t tick = 0;
  std::uint32_t microseconds = 0;  // per quarter note, from here on
};

// Appends `event`, read at `tick`, when it is a tempo change. Throws
// std::bad_alloc.
void add_if_tempo_change(const track_event& event, std::uint64_t tick,
                         std::vector<tempo_change>& changes);

// Appends the tempo changes of one track, in its order, up to its end or its
// first fault. Throws std::bad_alloc.
void add_tempo_changes(std::span<const std::uint8_t> track, std::vector<tempo_change>& changes);

struct tempo_map {
  std::uint16_t division = 0;
  std::vector<tempo_change> changes;  // in time order
  std::vector<double> at;             // microseconds from the start to each change
};

// The map of `changes` (of one track, or of tracks that play together) in
// time order; of changes at the same tick the last one given holds. Throws
// std::bad_alloc.
tempo_map make_tempo_map(std::uint16_t division, std::vector<tempo_change> changes);

// The time of `tick` in seconds; 0 when the division gives no time (0 ticks
// per quarter note or frame).
double seconds_at(const tempo_map& map, std::uint64_t tick) noexcept;

// When the events of each track of a song sound. The tracks of formats 0 and
// 1 play together: one map of all their tempo changes, and every track starts
// at 0. The tracks of format 2 are sequences played one after another: each
// has its own map, and starts where the one before it ended.
struct song_clock {
  std::vector<tempo_map> maps;  // one for all tracks, or one per track
  std::vector<double> starts;   // per track, in seconds (format 2 only)
  double end = 0;               // the end of the song, in seconds
};

// `changes` and `end_ticks` per track: its tempo changes (as
// add_tempo_changes gives them) and when its last event happens. Throws
// std::bad_alloc.
song_clock make_song_clock(std::uint16_t format, std::uint16_t division,
                           std::vector<std::vector<tempo_change>> changes,
                           std::span<const std::uint64_t> end_ticks);

// The time of `tick` of `track` in seconds, from the start of the song.
double seconds_at(const song_clock& clock, std::size_t track, std::uint64_t tick) noexcept;

}  // namespace mthc::midi
