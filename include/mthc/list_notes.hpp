// Every note of a song, in seconds: what a piano roll draws.
//
//   mthc::midi_file f = mthc::read_midi_file(bytes);
//   mthc::note_list n = mthc::list_notes(f.header, f.tracks);
//   for (const mthc::note& x : n.notes) draw(x.track, x.key, x.start_seconds, x.end_seconds);
#pragma once

#include <cstddef>
#include <cstdint>
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
note_list list_notes(const midi_header& header,
                     std::span<const std::span<const std::uint8_t>> tracks) noexcept;

}  // namespace mthc
