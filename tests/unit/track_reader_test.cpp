// The MIDI event reader and the music summary: crafted tracks for every fault
// and every rule the reader bends, the generated songs, and the example tune,
// whose expected numbers are worked out from examples/tune.txt.
#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <iterator>
#include <map>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
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
    const char* hex;
    E error;
    std::size_t offset, events;
  };
  const track_case cases[] = {
      {"00 ff 2f 00", E::none, 0, 1},
      {"00 ff 2f 01 00", E::none, 0, 1},                                   // with a payload
      {"00 90 3c 40 00 90 3c 00 00 ff 2f 00", E::none, 0, 3},              // status repeated
      {"00 c0 05 00 d0 40 00 3c 00 ff 2f 00", E::none, 0, 4},              // one data byte
      {"00 90 3c 40 00 ff 01 01 41 00 3c 00 00 ff 2f 00", E::none, 0, 4},  // running across meta
      {"00 90 3c 40 00 f0 02 01 f7 00 3c 00 00 ff 2f 00", E::none, 0, 4},  // and across SysEx
      // System messages of every length, running status going on after them.
      {"00 90 3c 40 00 f8 00 f2 01 02 00 f1 05 00 f3 01 00 f6 00 3c 00 00 ff 2f 00", E::none, 0, 8},
      {"00 f7 02 f8 fa 00 ff 2f 00", E::none, 0, 2},              // SysEx bytes unchecked
      {"ff ff ff 7f f0 80 80 80 00 00 ff 2f 00", E::none, 0, 2},  // 4-byte numbers
      {"", E::missing_end_of_track, 0, 0},
      {"00 90 3c 40 10 3c 00", E::missing_end_of_track, 7, 2},
      {"00 ff 2f 00 00", E::bytes_after_end_of_track, 4, 1},
      {"00 ff 51 02 07 a1 00 ff 2f 00", E::meta_event_unreadable, 2, 0},  // a tempo of 2 bytes
      {"00 ff 59 02 08 00 00 ff 2f 00", E::meta_event_unreadable, 2, 0},  // 8 sharps
      {"00 ff 59 02 f9 01 00 ff 2f 00", E::none, 0, 2},                   // 7 flats, minor
      {"00 90 3c 40 80 80 80 80 00 3c 00", E::delta_too_long, 4, 1},
      {"00 ff 01 80 80 80 80 01 41", E::length_too_long, 3, 0},
      {"00 c0 01 00 f0 81 81 81 81 00", E::length_too_long, 5, 1},
      {"00 90 3c 40 00 90 3c 80 00 ff 2f 00", E::data_byte_high_bit, 7, 1},
      {"00 c0 90 00 ff 2f 00", E::data_byte_high_bit, 2, 0},  // a status for data
      {"00 f2 01 ff 00 ff 2f 00", E::data_byte_high_bit, 3, 0},
      {"00 3c 40 00 ff 2f 00", E::running_status_without_status, 1, 0},
      {"00 ff 01 00 00 3c 40", E::running_status_without_status, 5, 1},  // meta only before
      {"00 f8 81 00 3c 40", E::running_status_without_status, 4, 1},     // system only before
      {"00 90 3c 40 00 f4 00 ff 2f 00", E::undefined_status, 5, 1},
      {"00 f5", E::undefined_status, 1, 0},
      {"00 f9", E::undefined_status, 1, 0},
      {"00 fd", E::undefined_status, 1, 0},
      {"00 90 3c 40 81", E::event_past_end, 4, 1},     // in the delta
      {"00 90 3c 40 00", E::event_past_end, 4, 1},     // no status
      {"00 90 3c 40 00 3c", E::event_past_end, 4, 1},  // a data byte short
      {"00 ff", E::event_past_end, 0, 0},              // no meta type
      {"00 ff 2f 80", E::event_past_end, 0, 0},        // in the length
      {"00 ff 01 03 41 42", E::event_past_end, 0, 0},  // a byte short
      {"00 c0 01 00 f0 ff ff ff 7f 00", E::event_past_end, 3, 1},
  };
  // A fault inside the track stays where it is however long the track goes
  // on; the padding takes it through the quick read of channel messages.
  const bytes padding = from_hex("00 90 3c 40 00 3c 00 00 80 3c 40 00 ff 2f 00");
  for (const track_case& c : cases) {
    SCOPED_TRACE(c.hex);
    bytes track = from_hex(c.hex);
    const track_check got = read_all(track);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(got.offset, c.offset);
    EXPECT_EQ(got.events, c.events);
    if (c.error >= E::delta_too_long && c.error <= E::undefined_status) {
      test::append(track, padding);
      const track_check padded = read_all(track);
      EXPECT_EQ(padded.error, c.error);
      EXPECT_EQ(padded.offset, c.offset);
    }
  }
}

TEST(TrackReader, MetaEventsReadAsMidoReadsThem) {
  // Per meta type, whether data of 0 to 5 bytes (zeros) reads: 'y' where
  // mido 1.2.10 loads the event, 'n' where it fails on it (checked on files
  // made of each).
  struct meta_case {
    std::uint8_t type;
    const char* readable;
  };
  const meta_case cases[] = {
      {0x00, "ynyyyy"},  // sequence number: none or 2 bytes
      {0x01, "yyyyyy"},  // text
      {0x20, "nyyyyy"},  // channel prefix
      {0x21, "yyyyyy"},  // port prefix: real files hold it without data
      {0x51, "nnnyyy"},  // tempo
      {0x54, "nnnnny"},  // SMPTE offset
      {0x58, "nnnnyy"},  // time signature
      {0x59, "nnyyyy"},  // key signature
      {0x60, "yyyyyy"},  // a type of no meaning
      {0x7F, "yyyyyy"},  // sequencer-specific
  };
  for (const meta_case& c : cases) {
    for (std::uint8_t length = 0; length < 6; ++length) {
      // The event (its data zeros), then end-of-track.
      bytes track(4 + length + 4, 0);
      track[1] = 0xFF;
      track[2] = c.type;
      track[3] = length;
      track[4 + length + 1] = 0xFF;
      track[4 + length + 2] = 0x2F;
      const track_check got = check_track(track);
      EXPECT_EQ(got.error == E::none, c.readable[length] == 'y')
          << "type " << int{c.type} << ", " << int{length} << " bytes";
      if (got.error != E::none) {
        EXPECT_EQ(got.error, E::meta_event_unreadable);
      }
    }
  }
}

TEST(ReadMidiFile, TracksAsPlayersTakeThem) {
  // One track each; what the reader makes of it, and the change it notes
  // (offsets in the file: the track's data begins at 22).
  using K = midi_change_kind;
  struct repair_case {
    const char* track;
    const char* repaired;
    K kind;
    std::size_t offset, value;
  };
  const repair_case cases[] = {
      {"00 90 3c 40", "00 90 3c 40 00 ff 2f 00", K::end_of_track_added, 26, 4},
      {"00 ff 2f 00 00 00", "00 ff 2f 00", K::bytes_after_end_of_track_dropped, 26, 2},
      {"00 90 3c 40 83 60 ff 2f", "00 90 3c 40 83 60 ff 2f 00", K::end_of_track_completed, 26, 1},
      {"00 90 3c 40 00 ff", "00 90 3c 40 00 ff 2f 00", K::end_of_track_completed, 26, 2},
      {"00 90 3c 40 83 60", "00 90 3c 40 83 60 ff 2f 00", K::end_of_track_completed, 26, 3},
      {"00 90 3c 40 83", "00 90 3c 40 00 ff 2f 00", K::partial_event_dropped, 26, 1},
      {"00 90 3c 40 00 3c", "00 90 3c 40 00 ff 2f 00", K::partial_event_dropped, 26, 2},
      {"00 90 3c 40 00 ff 01 05 41", "00 90 3c 40 00 ff 2f 00", K::partial_event_dropped, 26, 5},
  };
  for (const repair_case& c : cases) {
    SCOPED_TRACE(c.track);
    const bytes file = test::midi_file(0, 96, std::vector<bytes>{from_hex(c.track)});
    const midi_file read = read_midi_file(file);
    ASSERT_EQ(read.tracks.size(), 1U);
    EXPECT_EQ(bytes(read.tracks[0].begin(), read.tracks[0].end()), from_hex(c.repaired));
    ASSERT_EQ(read.changes.size(), 1U);
    EXPECT_EQ(read.changes[0].kind, c.kind);
    EXPECT_EQ(read.changes[0].offset, c.offset);
    EXPECT_EQ(read.changes[0].value, c.value);
    // As stored: no change, and the fault stays.
    const midi_file stored = read_midi_file(file, {.repair_tracks = false});
    EXPECT_TRUE(stored.changes.empty());
    EXPECT_EQ(bytes(stored.tracks[0].begin(), stored.tracks[0].end()), from_hex(c.track));
  }
  // A fault players do not get past stays; so does an empty track.
  for (const char* kept : {"00 90 3c 40 00 f4 00 ff 2f 00", ""}) {
    const bytes file = test::midi_file(0, 96, std::vector<bytes>{from_hex(kept)});
    const midi_file read = read_midi_file(file);
    EXPECT_TRUE(read.changes.empty()) << kept;
    EXPECT_EQ(bytes(read.tracks[0].begin(), read.tracks[0].end()), from_hex(kept));
  }
  // The repaired bytes stay valid in a copy and a move.
  midi_file moved = [] {
    const bytes file = test::midi_file(0, 96, std::vector<bytes>{from_hex("00 90 3c 40")});
    const midi_file read = read_midi_file(file);
    midi_file copy = read;
    return copy;
  }();
  EXPECT_EQ(bytes(moved.tracks[0].begin(), moved.tracks[0].end()),
            from_hex("00 90 3c 40 00 ff 2f 00"));
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
  for (const unsigned bars : {40U, 120U}) {
    const auto song = test::midi_song(bars, 18, bars);
    const std::vector<std::span<const std::uint8_t>> views(song.begin(), song.end());
    const music_summary summary = summarize_music(1, 480, views);
    ASSERT_EQ(summary.tracks.size(), song.size());
    for (std::size_t t = 1; t < song.size(); ++t) {
      SCOPED_TRACE(testing::Message() << bars << " bars, track " << t);
      EXPECT_EQ(read_all(song[t]).error, E::none);
      std::map<int, int> sounding;  // note-ons less note-offs, by pitch
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
      const track_summary& s = summary.tracks[t];
      EXPECT_TRUE(notes > 0 && s.notes == notes);
      EXPECT_EQ(s.channels, 1U << ((t - 1) % 16));
      EXPECT_EQ(std::popcount(s.programs[0]) + std::popcount(s.programs[1]), 1);
    }
  }
}

TEST(SummarizeMusic, Durations) {
  struct song_case {
    const char* name;
    std::uint16_t format, division;
    std::vector<const char*> tracks;
    std::uint64_t end_tick;
    double seconds;
  };
  const char* tempo_half_at_192 = "00 ff 51 03 07 a1 20  81 40 ff 51 03 03 d0 90  00 ff 2f 00";
  const char* notes_to_384 = "00 90 3c 40 83 00 3c 00 00 ff 2f 00";
  const char* slow_from_96 = "60 ff 51 03 0f 42 40 00 ff 2f 00";  // 1 s a quarter from tick 96
  const char* slow_to_96 = "00 ff 51 03 0f 42 40 60 ff 2f 00";    // 1 s a quarter, ends at 96
  const song_case cases[] = {
      {"default tempo", 0, 480, {"87 40 ff 2f 00"}, 960, 1.0},
      // 192 ticks at 0.5 s a quarter, then 192 at 0.25.
      {"tempo change mid-song", 1, 96, {tempo_half_at_192, notes_to_384}, 384, 1.0 + 0.5},
      {"tempo in track 3", 1, 96, {"00 ff 2f 00", notes_to_384, slow_from_96}, 384, 0.5 + 3.0},
      {"tempo change at the last tick", 1, 96, {"00 ff 2f 00", slow_from_96}, 96, 0.5},
      // Format 1: the first track's tempo holds for the second too, 4 quarters.
      {"tracks together", 1, 96, {slow_to_96, notes_to_384}, 384, 4.0},
      // Format 2: one after the other, each with its own tempo: 1 quarter at
      // 1 s, then 4 at the default 0.5 s.
      {"format 2", 2, 96, {slow_to_96, notes_to_384}, 96 + 384, 1.0 + 2.0},
      // 25 frames of 40 ticks: 1000 ticks a second, whatever the tempo says.
      {"SMPTE 25", 1, 0xE728, {tempo_half_at_192, "93 44 ff 2f 00"}, 2500, 2.5},
      // 29.97 (30000/1001) frames of 100 ticks: 6000 ticks are 60 frames, 2.002 s.
      {"SMPTE 29.97", 0, 0xE364, {"ae 70 ff 2f 00"}, 6000, 2.002},
      {"no ticks per quarter", 1, 0, {notes_to_384}, 384, 0},
  };
  for (const song_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<bytes> tracks;
    for (const char* hex : c.tracks)
      tracks.push_back(from_hex(hex));
    std::vector<std::span<const std::uint8_t>> views(tracks.begin(), tracks.end());
    const music_summary s = summarize_music(c.format, c.division, views);
    EXPECT_EQ(s.error, summary_error::none);
    EXPECT_EQ(s.end_tick, c.end_tick);
    EXPECT_NEAR(s.duration_seconds, c.seconds, 1e-9);
  }
}

TEST(SummarizeMusic, TrackFields) {
  // Two names (the first counts), notes on two channels, a velocity-0 note-on
  // that is no note, two programs, then a fault.
  const bytes track = from_hex(
      "00 ff 03 03 4f 6e 65  00 ff 03 03 54 77 6f  00 c2 28  10 92 3c 40  10 3c 00"
      "00 9f 24 7f  00 cf 7f  20 90 80");
  const std::vector<std::span<const std::uint8_t>> views = {track};
  const music_summary s = summarize_music(1, 96, views);
  ASSERT_EQ(s.tracks.size(), 1U);
  const track_summary& t = s.tracks[0];
  EXPECT_EQ(t.name, "One");
  EXPECT_EQ(t.channels, (1U << 2) | (1U << 15));
  EXPECT_EQ(t.programs[0], std::uint64_t{1} << 40);
  EXPECT_EQ(t.programs[1], std::uint64_t{1} << 63);
  EXPECT_EQ(t.notes, 2U);
  EXPECT_EQ(t.events, 7U);
  EXPECT_EQ(t.size, track.size());
  EXPECT_EQ(t.end_tick, 32U);
  EXPECT_EQ(t.error, E::data_byte_high_bit);
  EXPECT_EQ(t.error_offset, track.size() - 1);
}

#ifdef MTHC_TUNE_MID
// The example tune as the build writes it (format 1, 480 ticks a quarter,
// tempo 112: 60000000 / 112 = 535714 microseconds a quarter). Counted from
// tune.txt: the melody has 47 notes over 156 sixteenths, the chords 69 over
// 192, the bass 45 over 192, the drums 13 x 20 + 2 = 262 over 336; a
// sixteenth is 120 ticks. Each instrument track holds its name, its program
// change, a note-on and a note-off per note, and end-of-track.
TEST(SummarizeMusic, ExampleTune) {
  std::ifstream in(MTHC_TUNE_MID, std::ios::binary);
  ASSERT_TRUE(in) << MTHC_TUNE_MID;
  const bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const midi_file read = read_midi_file(file);
  ASSERT_EQ(read.error, midi_error::none);
  const music_summary s = summarize_music(1, 480, read.tracks);
  struct expected {
    const char* name;
    std::size_t notes, sixteenths;
    unsigned channel, program;
  };
  const expected instruments[] = {{"Melody", 47, 156, 0, 73},
                                  {"Chords", 69, 192, 1, 0},
                                  {"Bass", 45, 192, 2, 33},
                                  {"Drums", 262, 336, 9, 0}};
  ASSERT_EQ(s.tracks.size(), 5U);
  EXPECT_EQ(s.tracks[0].name, "Tune");
  for (std::size_t i = 0; i < 4; ++i) {
    const expected& e = instruments[i];
    const track_summary& t = s.tracks[i + 1];
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(t.error == E::none && t.name == e.name);
    EXPECT_EQ(t.notes, e.notes);
    EXPECT_EQ(t.events, 2 * e.notes + 3);
    EXPECT_EQ(t.end_tick, e.sixteenths * 120);
    EXPECT_EQ(t.channels, 1U << e.channel);
    EXPECT_EQ(t.programs[e.program >> 6], std::uint64_t{1} << (e.program & 63));
  }
  EXPECT_EQ(s.end_tick, 336U * 120);
  EXPECT_NEAR(s.duration_seconds, 336 / 4 * 0.535714, 1e-9);
}
#endif

}  // namespace
}  // namespace mthc
