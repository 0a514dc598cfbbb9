// Reading the events of one Standard MIDI File track (the data of an "MTrk"
// chunk), one at a time, without allocating. The reader is a plain value: a
// view of the track and where it stands in it.
//
//   mthc::track_reader reader{track_bytes};
//   mthc::track_event event;
//   while (mthc::next_event(reader, event)) {
//     if (event.kind == mthc::event_kind::channel && (event.status & 0xF0) == 0x90) ...
//   }
//   if (reader.error != mthc::track_error::none)
//     say(mthc::track_error_text(reader.error), reader.error_offset);
//
// An event is a delta time (a variable-length quantity of at most 4 bytes)
// and a message: a channel message (8n, 9n, An, Bn, En with 2 data bytes, Cn,
// Dn with 1; its status may be left out when it repeats the previous one,
// "running status"), a system message (F1 and F3 with 1 data byte, F2 with 2,
// F6, F8, FA, FB, FC, FE with none), a SysEx (F0 or F7, a length and that
// many bytes) or a meta event (FF, a type byte, a length and that many
// bytes). Meta type 2F ends the track. docs/format.md, "Reading MIDI events",
// has the rules this reader bends and why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <span>

namespace mthc {

// The faults of a track. Each is reported at the offset of the byte at fault
// (given in each line).
enum class track_error {
  none,
  delta_too_long,                 // a delta time of more than 4 bytes (its first byte)
  length_too_long,                // a SysEx or meta length of more than 4 bytes (its first byte)
  data_byte_high_bit,             // a channel or system message's data byte >= 80 (that byte)
  running_status_without_status,  // a data byte where a status is needed (that byte)
  undefined_status,               // F4, F5, F9 or FD, which no message has (that byte)
  event_past_end,                 // an event runs past the end of the track (its first byte)
  missing_end_of_track,           // no end-of-track event (the track's size)
  bytes_after_end_of_track,       // bytes follow end-of-track (the first of them)
  meta_event_unreadable,          // a meta event too short for its type, or a key
                                  // signature of no key (its type byte)
};

enum class event_kind : std::uint8_t { channel, system, sysex, meta };

struct track_event {
  std::uint32_t delta = 0;  // ticks since the previous event
  std::size_t offset = 0;   // where the event's delta time begins in the track
  event_kind kind = event_kind::channel;
  // The status in effect, running status applied: 80-EF channel, F1-FE
  // system, F0 or F7 SysEx, FF meta.
  std::uint8_t status = 0;
  std::uint8_t meta_type = 0;  // meta events only
  // Channel and system messages: their data bytes. SysEx and meta: the
  // payload after the length, bytes as stored. Always a view into the track.
  std::span<const std::uint8_t> data;
};

// The whole state of a walk over one track. Start one with
// `track_reader reader{track}`; copies walk on independently.
struct track_reader {
  std::span<const std::uint8_t> track;
  std::size_t position = 0;         // where the next event begins
  std::uint8_t running_status = 0;  // the last channel status (80-EF), 0 for none
  bool ended = false;               // the end-of-track event has been read
  track_error error = track_error::none;
  std::size_t error_offset = 0;  // where the first fault is
};

// Reads the next event into `event` and returns true. Returns false when
// the track is done: cleanly (error stays none) or at its first fault, named
// in `reader.error` and `reader.error_offset`; `event` is then left as it
// was, and every later call returns false too. A track that ends without an
// end-of-track event gives all its events first and reports
// missing_end_of_track only after the last of them; bytes after the
// end-of-track event are reported on the call after the one that returned it.
MTHC_API bool next_event(track_reader& reader, track_event& event) noexcept;

struct track_check {
  track_error error = track_error::none;
  std::size_t offset = 0;  // of the fault; 0 when there is none
  std::size_t events = 0;  // events read before the fault (all of them when there is none)
};

// Where a file's first unreadable track is, and what is wrong with it.
struct track_fault {
  std::size_t track = 0;  // counted from 0, in file order
  track_check check;
};

// Reads a whole track and gives the same result as a loop over next_event,
// faster: the check of a file's tracks before anything else is done to them.
MTHC_API track_check check_track(std::span<const std::uint8_t> track) noexcept;

// A short English phrase for a fault, for messages: "delta time longer than
// 4 bytes", "event runs past the end of the track", ...
MTHC_API const char* track_error_text(track_error error) noexcept;

}  // namespace mthc
