// Fuzz target for the MIDI event reader and the music summary.
//
// Input: the bytes of one track (the data of an "MTrk" chunk). Its first two
// bytes also serve as the division of the summary, so that both kinds of
// division are tried.
//
// Checks: every event lies in the track, begins where the last one ended
// and ends where its data ends; its kind, status and data agree with the
// format; a fault is reported within the track and stops the reader for
// good; a clean track ends with its end-of-track event at its last byte;
// check_track agrees with the loop over next_event, and the summary with
// both.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <span>
#include <vector>

#include "fuzz_check.hpp"

namespace {

using mthc::event_kind;

std::size_t system_data_bytes(std::uint8_t status) {
  return status == 0xF2 ? 2 : status == 0xF1 || status == 0xF3 ? 1 : 0;
}

void check_event(const mthc::track_event& event, const mthc::track_reader& reader) {
  const std::uint8_t status = event.status;
  switch (event.kind) {
    case event_kind::channel:
      MTHC_FUZZ_CHECK(status >= 0x80 && status < 0xF0);
      MTHC_FUZZ_CHECK(event.data.size() == ((status & 0xE0) == 0xC0 ? 1U : 2U));
      MTHC_FUZZ_CHECK(reader.running_status == status);
      break;
    case event_kind::system:
      MTHC_FUZZ_CHECK(status > 0xF0 && status < 0xFF && status != 0xF7 && status != 0xF4 &&
                      status != 0xF5 && status != 0xF9 && status != 0xFD);
      MTHC_FUZZ_CHECK(event.data.size() == system_data_bytes(status));
      break;
    case event_kind::sysex:
      MTHC_FUZZ_CHECK(status == 0xF0 || status == 0xF7);
      break;
    case event_kind::meta:
      MTHC_FUZZ_CHECK(status == 0xFF);
      MTHC_FUZZ_CHECK(reader.ended == (event.meta_type == 0x2F));
      break;
  }
  if (event.kind == event_kind::channel || event.kind == event_kind::system) {
    for (const std::uint8_t b : event.data)
      MTHC_FUZZ_CHECK(b < 0x80);
  }
  if (event.kind != event_kind::meta) MTHC_FUZZ_CHECK(!reader.ended && event.meta_type == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> track(data, size);
  mthc::track_reader reader{track};
  mthc::track_event event;
  std::size_t events = 0;
  std::uint64_t ticks = 0;
  for (;;) {
    const std::size_t start = reader.position;
    const bool ended_before = reader.ended;
    if (!mthc::next_event(reader, event)) break;
    ++events;
    MTHC_FUZZ_CHECK(!ended_before);
    MTHC_FUZZ_CHECK(reader.error == mthc::track_error::none);
    MTHC_FUZZ_CHECK(event.offset == start);
    MTHC_FUZZ_CHECK(reader.position > start && reader.position <= size);
    // The data (or payload) is the end of the event, after at least a delta.
    MTHC_FUZZ_CHECK(event.data.data() > data + start);
    MTHC_FUZZ_CHECK(event.data.data() + event.data.size() == data + reader.position);
    MTHC_FUZZ_CHECK(event.delta < (1U << 28));
    check_event(event, reader);
    ticks += event.delta;
  }
  MTHC_FUZZ_CHECK(events <= size / 2);  // no event is shorter than 2 bytes
  MTHC_FUZZ_CHECK(reader.error_offset <= size);
  switch (reader.error) {
    case mthc::track_error::none:
      MTHC_FUZZ_CHECK(reader.ended && reader.position == size && reader.error_offset == 0);
      break;
    case mthc::track_error::missing_end_of_track:
      MTHC_FUZZ_CHECK(!reader.ended && reader.error_offset == size);
      break;
    case mthc::track_error::bytes_after_end_of_track:
      MTHC_FUZZ_CHECK(reader.ended && reader.error_offset == reader.position);
      MTHC_FUZZ_CHECK(reader.position < size);
      break;
    default:
      MTHC_FUZZ_CHECK(!reader.ended && reader.error_offset >= reader.position);
      MTHC_FUZZ_CHECK(reader.error_offset < size);
      break;
  }
  // Stopped for good, and nothing changes.
  const mthc::track_reader stopped = reader;
  MTHC_FUZZ_CHECK(!mthc::next_event(reader, event));
  MTHC_FUZZ_CHECK(reader.error == stopped.error && reader.error_offset == stopped.error_offset &&
                  reader.position == stopped.position && reader.ended == stopped.ended);

  const mthc::track_check check = mthc::check_track(track);
  MTHC_FUZZ_CHECK(check.error == reader.error);
  MTHC_FUZZ_CHECK(check.offset == reader.error_offset);
  MTHC_FUZZ_CHECK(check.events == events);

  const auto division = static_cast<std::uint16_t>(size >= 2 ? data[0] << 8 | data[1] : 96);
  // Twice the same track: played together (format 1) they last as long as
  // one, one after the other (format 2) twice as long, as both follow the
  // same tempo changes.
  const std::vector<std::span<const std::uint8_t>> tracks = {track, track};
  double seconds[3] = {};
  for (const unsigned format : {1U, 2U}) {
    const mthc::music_summary summary =
        mthc::summarize_music(static_cast<std::uint16_t>(format), division, tracks);
    MTHC_FUZZ_CHECK(summary.error == mthc::summary_error::none && summary.tracks.size() == 2);
    for (const mthc::track_summary& t : summary.tracks) {
      MTHC_FUZZ_CHECK(t.events == events && t.end_tick == ticks && t.size == size);
      MTHC_FUZZ_CHECK(t.error == reader.error && t.error_offset == reader.error_offset);
      MTHC_FUZZ_CHECK(t.notes <= events);
    }
    MTHC_FUZZ_CHECK(summary.end_tick == (format == 2 ? 2 * ticks : ticks));
    MTHC_FUZZ_CHECK(std::isfinite(summary.duration_seconds) && summary.duration_seconds >= 0);
    seconds[format] = summary.duration_seconds;
  }
  MTHC_FUZZ_CHECK(std::fabs(seconds[2] - 2 * seconds[1]) <= 1e-9 * (1 + seconds[2]));
  return 0;
}
