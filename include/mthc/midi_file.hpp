// Reading a Standard MIDI File into its header and its tracks, as players
// read it.
//
//   mthc::midi_file f = mthc::read_midi_file(bytes);
//   if (f.error == mthc::midi_error::none) {
//     show(f.header.format, f.header.track_count, f.header.division);
//     for (std::span<const std::uint8_t> track : f.tracks) read_events(track);
//   }
//
// The file is a "MThd" chunk (tag, 32-bit length 6, format, track count,
// division) followed by "MTrk" chunks (tag, 32-bit length, event bytes), all
// numbers big-endian. Files in the wild bend this in ways that players
// accept, and the reader takes them as a player would, noting each change (a
// midi_change) in file order:
//
// - a RIFF "RMID" file is unwrapped: the MIDI file is the data of its "data"
//   chunk (cut at the end of the file if its size runs past it);
// - an "MThd" chunk longer than 6 bytes loses the bytes beyond the sixth;
// - chunks other than "MTrk" are dropped;
// - whatever follows the last chunk is ignored: fewer than 8 bytes, or a
//   chunk header that cannot be one (a tag that is not four printable ASCII
//   characters, as with zeros, a 0x1A end-of-file mark or text; or a chunk
//   other than "MTrk" whose length runs past the end of the file);
// - a track count that disagrees with the "MTrk" chunks present is set to
//   the number of chunks.
//
// and, unless midi_read_options::repair_tracks is off, the tracks as a
// player plays them (a player stops a track at its end-of-track event, or at
// the end of its data):
//
// - a track that ends without an end-of-track event gets one;
// - bytes after a track's end-of-track event are dropped;
// - an end-of-track event cut short is completed;
// - a track that ends inside an event loses that event and gets an
//   end-of-track event;
// - an "MTrk" chunk that runs past the end of the file (a file cut short) is
//   taken as far as the file holds it, and repaired as above.
//
// A track without data stays empty, and a track with any other fault (an
// undefined status byte, say: see track_reader.hpp) stays as it is: players
// do not get past such faults in the same way.
//
// What cannot be taken stays an error: an "MThd" chunk shorter than 6 bytes
// or running past the end, and more tracks than the 16-bit track count holds.
//
// Many changes of one kind (a file of millions of empty foreign chunks, say)
// are noted once, with their count: the result's size follows what the file
// holds of music, not the number of its chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mthc/export.hpp>
#include <span>
#include <vector>

namespace mthc {

// What the reader changed of a file that bends the rules; such a file will
// not come back from a container byte for byte. Offsets are in the file as
// given (in a RIFF file, counted from its start).
enum class midi_change_kind {
  // The Standard MIDI File inside a RIFF "RMID" file, the `value` bytes at
  // `offset` (the data of its "data" chunk, as far as the file holds it), is
  // taken; the rest of the RIFF file is not.
  riff_unwrapped,
  // The "MThd" chunk is longer than 6 bytes: the `value` bytes beyond its
  // sixth, at `offset`, are dropped and its length is set to 6.
  header_bytes_dropped,
  // The chunk at `offset`, tagged `tag`, with `value` bytes of data, is not
  // "MTrk": it is dropped.
  chunk_dropped,
  // The `value` bytes at `offset`, to the end, are not a chunk: fewer than 8
  // bytes, a tag that is not four printable ASCII characters (zeros, a 0x1A
  // end-of-file mark, text), or a chunk other than "MTrk" whose length runs
  // past the end. They are ignored.
  trailing_bytes_ignored,
  // The header (its track count at `offset`) declares `value` tracks, the
  // file has `chunk_count` "MTrk" chunks: the count is set to `chunk_count`.
  track_count_corrected,

  // The track changes (midi_read_options::repair_tracks). Each names the
  // track, counted from 0 in file order, in `track`.

  // The track ends at `offset` without an end-of-track event after its last
  // event: one is added (00 FF 2F 00, `value` 4 bytes).
  end_of_track_added,
  // The `value` bytes at `offset`, after the track's end-of-track event, are
  // dropped.
  bytes_after_end_of_track_dropped,
  // The track's end-of-track event, at `offset`, is cut short: the `value`
  // bytes that it lacks are added.
  end_of_track_completed,
  // The track ends inside the event at `offset`, of which `value` bytes are
  // there: they are dropped, and an end-of-track event is added.
  partial_event_dropped,
  // The file ends inside the track's "MTrk" chunk, at `offset`: `value`
  // bytes of the data that its length declares are missing. The track is
  // taken as far as the file holds it, and repaired as the kinds above
  // repair it: its whole events are kept and it gets an end-of-track event
  // (unless another fault stops it before).
  track_cut_by_end_of_file,
};

// One kind of change: its first occurrence in the file, and how many there
// are. The fields that a kind does not name stay 0.
struct midi_change {
  midi_change_kind kind = midi_change_kind::riff_unwrapped;
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;
  std::array<char, 4> tag{};
  std::size_t track = 0;
  // How many times the file has this kind of change (chunks dropped, tracks
  // repaired); the fields above describe the first, in file order.
  std::size_t count = 1;
};

enum class midi_error {
  none,
  not_midi,          // neither "MThd" nor a RIFF "RMID" file holding one at the start
  header_too_short,  // the "MThd" chunk at `offset` has the length `value`, less than 6
  // The header (`offset` 0) runs past the end; or, when tracks are not
  // repaired, the "MTrk" chunk at `offset` does.
  chunk_past_end,
  too_many_tracks,  // `chunk_count` "MTrk" chunks, more than 65535
  out_of_memory,
};

// The header's fields, as a reader takes them.
struct midi_header {
  std::uint16_t format = 0;
  // The number of "MTrk" chunks (the header's count, corrected if need be).
  std::uint16_t track_count = 0;
  // As stored: ticks per quarter note below 0x8000; SMPTE time from 0x8000
  // (see the functions below).
  std::uint16_t division = 0;
};

// SMPTE time: the division's high byte is minus the frames per second (24,
// 25, 29 for 29.97 drop-frame, or 30), its low byte the ticks per frame.
constexpr bool is_smpte(std::uint16_t division) noexcept {
  return (division & 0x8000U) != 0;
}
constexpr unsigned smpte_frames_per_second(std::uint16_t division) noexcept {
  return static_cast<unsigned>(256 - (division >> 8));
}
constexpr unsigned smpte_ticks_per_frame(std::uint16_t division) noexcept {
  return division & 0xFFU;
}

struct midi_file {
  midi_error error = midi_error::none;
  // Details of the error, as its comment names them.
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;

  midi_header header;
  // The data of every "MTrk" chunk, in file order: views into the bytes
  // read, but for repaired tracks, which view `repaired_tracks`.
  std::vector<std::span<const std::uint8_t>> tracks;
  // What was changed: each kind once (with its count), in the order of its
  // first occurrence in the file.
  std::vector<midi_change> changes;
  // The bytes of the repaired tracks, on the heap: moving or copying the
  // midi_file keeps them where they are, so `tracks` stays valid in a move
  // or copy for as long as one of them lives (a copy shares the bytes).
  std::shared_ptr<const std::vector<std::uint8_t>> repaired_tracks;
};

struct midi_read_options {
  // Take the tracks as players play them (the track changes above); when
  // off, every track is its chunk's data as stored, and an "MTrk" chunk that
  // runs past the end of the file is the error chunk_past_end: the file as
  // it is, for a check or a listing of what it holds.
  bool repair_tracks = true;
};

// Splits `bytes` into its header and tracks, or names the error. The result
// views `bytes`, which must outlive it. Never throws.
MTHC_API midi_file read_midi_file(std::span<const std::uint8_t> bytes,
                                  const midi_read_options& options = {}) noexcept;

}  // namespace mthc
