// The MIDI event reader: crafted tracks for every fault and every rule the
// reader bends, and the generated songs.
#include "midi/track_reader.hpp"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>

#include "container_builder.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

using test::bytes;
using test::from_hex;
using E = track_error;

// Reads `track` with next_event, checks that check_track agrees and that the
// reader stays stopped, and returns the result.
track_check read_all(const bytes& track) {
  track_reader reader{track};
  track_event event;
  track_check loop;
  while (next_event(reader, event))
    ++loop.events;
  loop.error = reader.error;
  loop.offset = reader.error_offset;
  EXPECT_FALSE(next_event(reader, event));
  EXPECT_EQ(reader.error, loop.error);
  if (loop.error == E::none) {
    EXPECT_TRUE(reader.ended && reader.position == track.size());
  }
  const track_check fast = check_track(track);
  EXPECT_EQ(fast.error, loop.error);
  EXPECT_EQ(fast.offset, loop.offset);
  EXPECT_EQ(fast.events, loop.events);
  return loop;
}

TEST(TrackReader, CraftedTracks) {
  struct track_case {
    const char* name;
    const char* hex;
    E error;
    std::size_t offset;
    std::size_t events;
  };
  const track_case cases[] = {
      {"end of track alone", "00 ff 2f 00", E::none, 0, 1},
      {"end of track with a payload", "00 ff 2f 01 00", E::none, 0, 1},
      {"new status where running status could go on", "00 90 3c 40 00 90 3c 00 00 ff 2f 00",
       E::none, 0, 3},
      {"one data byte for Cn and Dn", "00 c0 05 00 d0 40 00 3c 00 ff 2f 00", E::none, 0, 4},
      {"running status across a meta event", "00 90 3c 40 00 ff 01 01 41 00 3c 00 00 ff 2f 00",
       E::none, 0, 4},
      {"running status across a SysEx", "00 90 3c 40 00 f0 02 01 f7 00 3c 00 00 ff 2f 00", E::none,
       0, 4},
      {"system messages leave running status alone",
       "00 90 3c 40 00 f8 00 f2 01 02 00 f1 05 00 f3 01 00 f6 00 3c 00 00 ff 2f 00", E::none, 0, 8},
      {"SysEx payload bytes are not checked", "00 f7 02 f8 fa 00 ff 2f 00", E::none, 0, 2},
      {"4-byte delta and length", "ff ff ff 7f f0 80 80 80 00 00 ff 2f 00", E::none, 0, 2},
      {"empty track", "", E::missing_end_of_track, 0, 0},
      {"no end of track", "00 90 3c 40 10 3c 00", E::missing_end_of_track, 7, 2},
      {"bytes after end of track", "00 ff 2f 00 00", E::bytes_after_end_of_track, 4, 1},
      {"5-byte delta", "00 90 3c 40 80 80 80 80 00 3c 00", E::delta_too_long, 4, 1},
      {"5-byte meta length", "00 ff 01 80 80 80 80 01 41", E::length_too_long, 3, 0},
      {"5-byte SysEx length", "00 c0 01 00 f0 81 81 81 81 00", E::length_too_long, 5, 1},
      {"data byte 80 in a note", "00 90 3c 40 00 90 3c 80 00 ff 2f 00", E::data_byte_high_bit, 7,
       1},
      {"status byte in place of a data byte", "00 c0 90 00 ff 2f 00", E::data_byte_high_bit, 2, 0},
      {"data byte 80 in a system message", "00 f2 01 ff 00 ff 2f 00", E::data_byte_high_bit, 3, 0},
      {"data byte at the start", "00 3c 40 00 ff 2f 00", E::running_status_without_status, 1, 0},
      {"data byte after a meta event only", "00 ff 01 00 00 3c 40",
       E::running_status_without_status, 5, 1},
      {"data byte after a system message only", "00 f8 81 00 3c 40",
       E::running_status_without_status, 4, 1},
      {"undefined F4", "00 90 3c 40 00 f4 00 ff 2f 00", E::undefined_status, 5, 1},
      {"undefined F5", "00 f5", E::undefined_status, 1, 0},
      {"undefined F9", "00 f9", E::undefined_status, 1, 0},
      {"undefined FD", "00 fd", E::undefined_status, 1, 0},
      {"delta cut short", "00 90 3c 40 81", E::event_past_end, 4, 1},
      {"no status after the delta", "00 90 3c 40 00", E::event_past_end, 4, 1},
      {"second data byte missing", "00 90 3c 40 00 3c", E::event_past_end, 4, 1},
      {"meta type missing", "00 ff", E::event_past_end, 0, 0},
      {"meta length cut short", "00 ff 2f 80", E::event_past_end, 0, 0},
      {"meta payload one byte past the end", "00 ff 01 03 41 42", E::event_past_end, 0, 0},
      {"SysEx payload past the end", "00 c0 01 00 f0 ff ff ff 7f 00", E::event_past_end, 3, 1},
  };
  // A fault inside the track stays where it is however long the track goes
  // on; the padding takes it through check_track's fast loop.
  const bytes padding = from_hex("00 90 3c 40 00 3c 00 00 80 3c 40 00 ff 2f 00");
  for (const track_case& c : cases) {
    SCOPED_TRACE(c.name);
    bytes track = from_hex(c.hex);
    const track_check got = read_all(track);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(got.offset, c.offset);
    EXPECT_EQ(got.events, c.events);
    if (c.error != E::none && c.error != E::missing_end_of_track && c.error != E::event_past_end &&
        c.error != E::bytes_after_end_of_track) {
      test::append(track, padding);
      const track_check padded = read_all(track);
      EXPECT_EQ(padded.error, c.error);
      EXPECT_EQ(padded.offset, c.offset);
    }
  }
  std::set<std::string> texts;
  for (int e = 0; e <= static_cast<int>(E::bytes_after_end_of_track); ++e)
    texts.insert(track_error_text(static_cast<E>(e)));
  EXPECT_EQ(texts.size(), 9U) << "every fault has its own text";
}

TEST(TrackReader, EventFields) {
  const bytes track = from_hex(
      "00 90 3c 40  81 00 3c 00  00 f0 03 7e 7f f7  00 3e 40  00 f8  00 c1 05"
      "00 ff 03 02 41 42  83 60 07  00 ff 2f 00");
  struct expected {
    std::uint32_t delta;
    std::size_t offset;
    event_kind kind;
    std::uint8_t status, meta_type;
    const char* data;
  };
  const expected events[] = {
      {0, 0, event_kind::channel, 0x90, 0, "3c 40"},
      {128, 4, event_kind::channel, 0x90, 0, "3c 00"},  // running status
      {0, 8, event_kind::sysex, 0xF0, 0, "7e 7f f7"},
      {0, 14, event_kind::channel, 0x90, 0, "3e 40"},  // running status across the SysEx
      {0, 17, event_kind::system, 0xF8, 0, ""},
      {0, 19, event_kind::channel, 0xC1, 0, "05"},
      {0, 22, event_kind::meta, 0xFF, 0x03, "41 42"},
      {480, 28, event_kind::channel, 0xC1, 0, "07"},
      {0, 31, event_kind::meta, 0xFF, 0x2F, ""},
  };
  track_reader reader{track};
  track_event event;
  for (const expected& e : events) {
    ASSERT_TRUE(next_event(reader, event)) << e.offset;
    EXPECT_EQ(event.delta, e.delta);
    EXPECT_EQ(event.offset, e.offset);
    EXPECT_EQ(event.kind, e.kind);
    EXPECT_EQ(event.status, e.status);
    EXPECT_EQ(event.meta_type, e.meta_type);
    EXPECT_EQ(bytes(event.data.begin(), event.data.end()), from_hex(e.data)) << e.offset;
  }
  EXPECT_FALSE(next_event(reader, event));
  EXPECT_EQ(reader.error, E::none);
}

// The generator's instrument tracks: one channel ((t - 1) % 16 for track t),
// one program change, every note ended by a note-on of velocity 0 of the
// same pitch.
TEST(TrackReader, GeneratedSongs) {
  for (const std::uint64_t seed : {1U, 2U, 3U}) {
    const auto song = test::midi_song(seed, 18, 40 * static_cast<unsigned>(seed));
    for (std::size_t t = 1; t < song.size(); ++t) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << " track " << t);
      const track_check check = read_all(song[t]);
      EXPECT_EQ(check.error, E::none);
      std::map<int, int> sounding;
      std::size_t notes = 0;
      track_reader reader{song[t]};
      track_event event;
      while (next_event(reader, event)) {
        if (event.kind != event_kind::channel || (event.status & 0xF0) != 0x90) continue;
        sounding[event.data[0]] += event.data[1] != 0 ? 1 : -1;
        notes += event.data[1] != 0 ? 1U : 0U;
      }
      for (const auto& [pitch, count] : sounding)
        EXPECT_EQ(count, 0) << "pitch " << pitch;
      EXPECT_GT(notes, 0U);
    }
  }
}

}  // namespace
}  // namespace mthc
