// What a MIDI file holds, in numbers a listing or a page can show: per track
// its name, channels, programs, notes, events and length, and for the whole
// file its length in ticks and in seconds.
//
//   std::vector<std::span<const std::uint8_t>> tracks = ...;  // each "MTrk" chunk's data
//   mthc::music_summary s = mthc::summarize_music(format, division, tracks);
//   if (s.error == mthc::summary_error::none) show(s.tracks.size(), s.duration_seconds);
//
// The caller splits the file into its chunks; this reads the events only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <mthc/track_reader.hpp>
#include <span>
#include <string>
#include <vector>

namespace mthc {

struct track_summary {
  std::string name;                         // the first sequence/track name (FF 03), as stored
  std::uint16_t channels = 0;               // bit c: a channel message on channel c (0-15)
  std::array<std::uint64_t, 2> programs{};  // bit p (of 128): a program change to p
  std::size_t notes = 0;                    // note-ons with a velocity above 0
  std::size_t events = 0;                   // events read
  std::size_t size = 0;                     // bytes of track data
  std::uint64_t end_tick = 0;               // when the last event read happens
  track_error error = track_error::none;    // the track's first fault: the numbers above
  std::size_t error_offset = 0;             // then count what was read before it
};

enum class summary_error { none, out_of_memory };

struct music_summary {
  summary_error error = summary_error::none;
  std::uint16_t format = 0;           // as stored
  std::uint16_t division = 0;         // as stored
  std::vector<track_summary> tracks;  // empty when memory ran out
  // The end of the music: for format 2, whose tracks are sequences played one
  // after another, the sum of the tracks' ends; for every other format the
  // latest of them.
  std::uint64_t end_tick = 0;
  // end_tick in seconds. With ticks per quarter note (division below 8000),
  // following the tempo changes (FF 51, microseconds per quarter note; 500000
  // until the first): in format 2 each track's own, in every other format
  // those of all tracks together. With SMPTE time (division 8000 and up: the
  // high byte is minus the frames per second, 29 meaning 29.97, the low byte
  // the ticks per frame) ticks are a fixed time and tempo changes are ignored.
  // 0 when the division gives no time (0 ticks per quarter note or frame).
  double duration_seconds = 0;
};

// Reads every track (the data of each "MTrk" chunk, in file order) up to its
// end or its first fault. Prints nothing, never throws.
MTHC_API music_summary
summarize_music(std::uint16_t format, std::uint16_t division,
                std::span<const std::span<const std::uint8_t>> tracks) noexcept;

}  // namespace mthc
