// Every note of a song, and every channel message, in seconds: what a piano
// roll draws and a player plays.
//
//   mthc::midi_file f = mthc::read_midi_file(bytes);
//   mthc::note_list n = mthc::list_notes(f.header, f.tracks);
//   for (const mthc::note& x : n.notes) draw(x.track, x.key, x.start_seconds, x.end_seconds);
//   mthc::channel_event_list e = mthc::list_channel_events(f.header, f.tracks);
//   for (const mthc::channel_event& x : e.events) play_at(x.seconds, x.status, x.data);
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_music.hpp>
#include <span>
#include <vector>

namespace mthc {

struct note {
  double start_seconds = 0;
  double end_seconds = 0;
  std::uint32_t track = 0;
  std::uint8_t channel = 0;  // 0-15
  std::uint8_t key = 0;      // 0-127, 60 the middle C
  std::uint8_t velocity = 0;
};

struct note_list {
  summary_error error = summary_error::none;
  std::vector<note> notes;  // track by track, each in the order its notes start
};

// A note-on of velocity above 0 starts a note; the next note-off of its
// channel and key (or note-on of velocity 0) ends the earliest such note
// still sounding, and the track's end ends the rest. Each track is read up to
// its end or its first fault, and times follow the tempo changes as
// summarize_music's do. Never throws.
MTHC_API note_list list_notes(const midi_header& header,
                              std::span<const std::span<const std::uint8_t>> tracks) noexcept;

struct channel_event {
  double seconds = 0;
  std::uint32_t track = 0;
  std::uint8_t status = 0;     // 80-EF, running status applied
  std::uint8_t data[2] = {};   // the data bytes (the second is 0 for Cn and Dn)
  std::uint8_t data_size = 0;  // 1 or 2
};

struct channel_event_list {
  summary_error error = summary_error::none;
  // In time order across the tracks; of events at the same time, an earlier
  // track's come first, and each track's keep their order.
  std::vector<channel_event> events;
};

// The channel messages of every track, up to its end or its first fault, at
// their times as list_notes gives them. Never throws.
MTHC_API channel_event_list list_channel_events(
    const midi_header& header, std::span<const std::span<const std::uint8_t>> tracks) noexcept;

}  // namespace mthc
