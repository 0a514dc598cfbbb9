// The conversion in memory: block walk, track regrouping and MIDI assembly.
#include <gtest/gtest.h>

#include <algorithm>
#include <mthc/convert_to_midi.hpp>
#include <mthc/messages.hpp>
#include <mthc/unpack.hpp>
#include <optional>

#include "bit_writer.hpp"
#include "codec/decompress_blocks.hpp"
#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc {
namespace {

using test::bytes;
using test::from_hex;

const bytes k_worked_container = from_hex(
    "4d 54 68 63 01 00 24 00 29 ff 4d 54 68 70 00 00 00 06 ff 00 01 00 02 00 60 00 00 ff 00 00 02"
    "00 00 0c 00 90 ff 3c 40 60 80 3c 00 00 ff f0 2f 00 00 00");
const bytes k_worked_midi = from_hex(
    "4d 54 68 64 00 00 00 06 00 01 00 02 00 60 4d 54 72 6b 00 00 00 0c 00 90 3c 40 60 80 3c 00 00"
    "ff 2f 00 4d 54 72 6b 00 00 00 04 00 ff 2f 00");
const bytes k_end_of_track_chunk = from_hex("4d 54 72 6b 00 00 00 04 00 ff 2f 00");

bytes converted(const bytes& container, conversion_error expected_error = conversion_error::none,
                conversion_step expected_step = conversion_step::assemble) {
  conversion_result r = convert_to_midi(container);
  EXPECT_EQ(r.error, expected_error);
  if (expected_error != conversion_error::none) {
    EXPECT_EQ(r.failed_step, expected_step);
  }
  const auto used = r.midi_file.used();
  return bytes(used.begin(), used.end());
}

bytes midi_header(const bytes& stream) {
  bytes out(stream.begin(), stream.begin() + 14);
  std::copy_n("MThd", 4, out.begin());
  return out;
}

bytes chunk(const bytes& data) {
  bytes out = {'M', 'T', 'r', 'k'};
  test::append_be32(out, static_cast<std::uint32_t>(data.size()));
  test::append(out, data);
  return out;
}

// A container with the whole decoded stream in one literal-only block.
bytes single_block(const bytes& stream) {
  const std::vector<test::stored_block> blocks = {
      {static_cast<std::uint16_t>(stream.size()), test::literal_block(stream)}};
  return test::build_container(blocks);
}

TEST(Conversion, WorkedExample) {
  EXPECT_EQ(converted(k_worked_container), k_worked_midi);
}

TEST(Conversion, StreamSizesAndTags) {
  const bytes header = test::stream_header(1, 2, 96);
  bytes eighteen = header;
  test::append(eighteen, bytes{0, 0});
  bytes seventeen = header;
  seventeen.push_back(0);
  bytes not_mthp = eighteen;
  not_mthp[3] = 'd';
  bytes zero_tracks = test::stream_header(0, 0, 96);
  test::append(zero_tracks, test::record_area(std::vector<bytes>{{1, 2, 3}}));

  struct size_case {
    const char* name;
    bytes container;
    conversion_error error;
    bytes midi;
  };
  bytes two_empty_tracks = midi_header(eighteen);
  test::append(two_empty_tracks, k_end_of_track_chunk);
  test::append(two_empty_tracks, k_end_of_track_chunk);
  const std::vector<size_case> cases = {
      {"18-byte stream, two tracks, no records", single_block(eighteen), conversion_error::none,
       two_empty_tracks},
      {"17-byte stream", single_block(seventeen), conversion_error::stream_invalid, {}},
      {"no MThp at the start", single_block(not_mthp), conversion_error::stream_invalid, {}},
      {"no blocks", test::build_container({}), conversion_error::stream_invalid, {}},
      {"image without a block count",
       bytes{'M', 'T', 'h', 'c'},
       conversion_error::stream_invalid,
       {}},
      {"zero tracks: the header alone", single_block(zero_tracks), conversion_error::none,
       midi_header(zero_tracks)},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(converted(c.container, c.error), c.midi);
  }
  EXPECT_EQ(two_empty_tracks.size(), 38U);
}

TEST(Conversion, HeaderFieldsAreCopiedUnread) {
  bytes stream = test::stream_header(0x7777, 1, 0xE728);
  stream[4] = 0x12;  // header length 0x12345678
  stream[5] = 0x34;
  stream[6] = 0x56;
  stream[7] = 0x78;
  test::append(stream, test::record_area(std::vector<bytes>{{0x00, 0xFF, 0x2F, 0x00}}));
  bytes expected = from_hex("4d 54 68 64 12 34 56 78 77 77 00 01 e7 28");
  test::append(expected, chunk({0x00, 0xFF, 0x2F, 0x00}));
  EXPECT_EQ(converted(single_block(stream)), expected);
}

TEST(RecordCount, ByteOrderRule) {
  struct count_case {
    std::uint8_t lo, hi;
    std::uint16_t expected;
  };
  const count_case cases[] = {{3, 0, 3}, {0, 3, 3}, {5, 0, 5}, {0, 5, 5}, {1, 2, 258}, {0, 0, 0}};
  for (const count_case& c : cases) {
    EXPECT_EQ(midi::read_record_count(c.lo, c.hi, 3), c.expected) << int{c.lo} << " " << int{c.hi};
  }
}

TEST(Regrouping, BlocksAndRecords) {
  // Records are appended to their track in block order; missing records leave
  // a track without data from that block; records past the track count are
  // skipped; a record running past the stream ends its block only.
  const std::vector<std::vector<bytes>> blocks = {
      {{'a'}, {'b', 'b'}, {'c'}},
      {{'A'}},
      {{}, {'B'}, {'C'}, {'x', 'x'}},  // the fourth record has no track
  };
  const bytes container = test::container_from_records(1, 3, 96, blocks);
  bytes expected = midi_header(test::stream_header(1, 3, 96));
  test::append(expected, chunk({'a', 'A'}));
  test::append(expected, chunk({'b', 'b', 'B'}));
  test::append(expected, chunk({'c', 'C'}));
  EXPECT_EQ(converted(container), expected);

  // Cut the last block's final record short: that block ends there, the
  // records before it still count.
  bytes stream = test::stream_header(1, 2, 96);
  test::append(stream, test::record_area(std::vector<bytes>{{'a'}, {'b'}}));
  const auto size0 = static_cast<std::uint16_t>(stream.size());
  bytes area = test::record_area(std::vector<bytes>{{'c'}, {'d', 'd', 'd'}});
  area.pop_back();
  test::append(stream, area);
  const std::uint16_t sizes[] = {size0, static_cast<std::uint16_t>(area.size())};
  bytes cut_expected = midi_header(stream);
  test::append(cut_expected, chunk({'a', 'c'}));
  test::append(cut_expected, chunk({'b'}));
  EXPECT_EQ(converted(test::build_container(test::literal_blocks(stream, sizes))), cut_expected);
}

// A decoded stream made of a header and record areas, cut into blocks of the
// declared sizes given, each stored as literals.
struct walk_case {
  const char* name;
  bytes container;
  bytes midi;
};

TEST(BlockWalk, DeclaredSizesSteerTheRegrouping) {
  std::vector<walk_case> cases;
  const bytes header = test::stream_header(1, 1, 96);
  bytes block0 = header;
  test::append(block0, test::record_area(std::vector<bytes>{{'a', 'b'}}));
  const auto size0 = static_cast<std::uint16_t>(block0.size());
  const bytes area1 = test::record_area(std::vector<bytes>{{'h', 'i'}});
  {
    // Block 0 produces four bytes more than it declares: block 1 is read
    // where the declared sizes say, inside block 0's extra output.
    bytes extra = block0;
    test::append(extra, bytes{0, 0, 0, 1});  // spare bytes and a record count of 1
    const std::vector<test::stored_block> stored = {
        {size0, test::literal_block(extra)}, {2, test::literal_block(bytes{0, 2, 'h', 'i'})}};
    bytes midi = midi_header(header);
    test::append(midi, chunk({'a', 'b', 'h', 'i'}));
    cases.push_back(
        {"overproducing block shifts the later ones", test::build_container(stored), midi});
  }
  {
    // Block 1 declares 0 bytes: block 2 starts at the same place and its
    // records are read again; block 2 itself stores nothing.
    const std::vector<test::stored_block> stored = {
        {size0, test::literal_block(block0)}, {0, test::literal_block(area1)}, {0, {}}};
    bytes midi = midi_header(header);
    test::append(midi, chunk({'a', 'b', 'h', 'i', 'h', 'i'}));
    cases.push_back({"zero declared size re-reads records", test::build_container(stored), midi});
  }
  {
    // Five blocks announced, two present: the walk ends quietly.
    const std::vector<test::stored_block> stored = {
        {size0, test::literal_block(block0)},
        {static_cast<std::uint16_t>(area1.size()), test::literal_block(area1)}};
    bytes midi = midi_header(header);
    test::append(midi, chunk({'a', 'b', 'h', 'i'}));
    cases.push_back(
        {"block count beyond the blocks present", test::build_container(stored, 5), midi});
  }
  {
    // Block 1's packed bytes run past the end of the image: it is not decoded.
    const std::vector<test::stored_block> stored = {
        {size0, test::literal_block(block0)},
        {static_cast<std::uint16_t>(area1.size()), test::literal_block(area1)}};
    bytes image = test::build_container(stored);
    image.pop_back();
    bytes midi = midi_header(header);
    test::append(midi, chunk({'a', 'b'}));
    cases.push_back({"packed bytes past the end", image, midi});
  }
  {
    // Only block 0's header exists, but it declares less than it produced:
    // block 1 (no table entry) is still read at its start, and the walk ends
    // after it instead of stepping on with a size that was never declared.
    bytes extra = block0;
    test::append(extra, area1);
    const std::vector<test::stored_block> stored = {{size0, test::literal_block(extra)}};
    bytes midi = midi_header(header);
    test::append(midi, chunk({'a', 'b', 'h', 'i'}));
    cases.push_back(
        {"block without a table entry ends the walk", test::build_container(stored, 9), midi});
  }
  for (const walk_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(converted(c.container), c.midi);
  }
}

TEST(BlockWalk, CapacityDoublesFromTheInitialSize) {
  for (const std::size_t total : {65536UL, 65537UL, 131072UL, 200000UL, 600000UL}) {
    SCOPED_TRACE(total);
    const bytes stream = test::random_bytes(total, total);
    std::vector<std::uint16_t> sizes;
    for (std::size_t left = total; left > 0;) {
      const std::size_t n = std::min<std::size_t>(left, 50000);
      sizes.push_back(static_cast<std::uint16_t>(n));
      left -= n;
    }
    codec::decoded_blocks decoded;
    ASSERT_EQ(codec::decompress_blocks(test::build_container(test::literal_blocks(stream, sizes)),
                                       decoded),
              conversion_error::none);
    std::size_t expected_capacity = codec::k_initial_stream_capacity;
    while (expected_capacity < total)
      expected_capacity *= 2;
    EXPECT_EQ(decoded.stream.capacity, expected_capacity);
    ASSERT_EQ(decoded.stream.length, total);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), decoded.stream.data.get()));
    EXPECT_EQ(decoded.unpacked_size_table, sizes);
  }
}

TEST(BlockWalk, EmptyAndTruncatedBlocks) {
  codec::decoded_blocks decoded;
  // Images too short to hold a block count have no blocks (the walk reads
  // nothing beyond them: the vectors are exactly their size).
  for (std::size_t size = 0; size <= 4; ++size) {
    ASSERT_EQ(codec::decompress_blocks(bytes(size, 0xFF), decoded), conversion_error::none);
    EXPECT_EQ(decoded.stream.length, 0U);
    EXPECT_EQ(decoded.block_count, 0U);
  }
  ASSERT_EQ(codec::decompress_blocks(test::build_container({}), decoded), conversion_error::none);
  EXPECT_EQ(decoded.stream.length, 0U);
  EXPECT_TRUE(decoded.unpacked_size_table.empty());

  // A packed size of 0 produces nothing; a block cut off keeps its entry.
  const std::vector<test::stored_block> stored = {{7, {}},
                                                  {9, test::literal_block(bytes{1, 2, 3})}};
  bytes image = test::build_container(stored);
  image.pop_back();
  ASSERT_EQ(codec::decompress_blocks(image, decoded), conversion_error::none);
  EXPECT_EQ(decoded.stream.length, 0U);
  EXPECT_EQ(decoded.unpacked_size_table, (std::vector<std::uint16_t>{7, 9}));
}

// A block that fills all of its room: a literal, then one match whose
// gamma-coded length is far beyond any room.
bytes room_filling_block(std::uint8_t value) {
  test::bit_writer w;
  w.literal(value);
  w.match(1, 0xFFFFFF00U);
  return w.bytes;
}

TEST(Bombs, DecodedStreamLimit) {
  // Every block declares 65535 bytes and then fills the whole free capacity,
  // so each one doubles the stream: a few dozen bytes would need 128 MiB.
  std::vector<test::stored_block> stored;
  for (int i = 0; i < 14; ++i)
    stored.push_back({0xFFFF, room_filling_block(0)});
  const bytes image = test::build_container(stored);
  EXPECT_LT(image.size(), 300U);
  EXPECT_EQ(converted(image, conversion_error::stream_too_large, conversion_step::decompress),
            bytes{});
}

TEST(Bombs, GatheredTrackDataLimit) {
  // 65535 tracks and a stream of 0xFF bytes after its header: every block
  // start reads as a record area of 65535 records of 65535 bytes, so each
  // block re-gathers nearly the whole 8 MiB stream.
  bytes header = test::stream_header(1, 0xFFFF, 96);
  header[14] = 0xFF;
  header[15] = 0xFF;
  test::bit_writer first;
  first.literals(header);
  first.literal(0xFF);
  first.match(1, 0xFFFFFF00U);
  std::vector<test::stored_block> stored = {{0xFFFF, first.bytes}};
  for (int i = 1; i < 8; ++i)
    stored.push_back({0xFFFF, room_filling_block(0xFF)});
  for (int i = 8; i < 40; ++i)
    stored.push_back({0xFFFF, {}});
  const bytes image = test::build_container(stored);
  EXPECT_LT(image.size(), 400U);
  EXPECT_EQ(converted(image, conversion_error::tracks_too_large), bytes{});
}

// What a conversion reports of a container cut short or damaged: the
// conversion still succeeds (it builds what there is), and says what it saw.
TEST(ContainerCheck, CutAndDamagedContainers) {
  // Three blocks of records for two tracks.
  const std::vector<std::vector<bytes>> records = {
      {bytes(300, 1), bytes(200, 2)}, {bytes(300, 3), bytes(100, 4)}, {bytes(50, 5), bytes(60, 6)}};
  const bytes good = test::container_from_records(1, 2, 96, records);
  // Where block 2 begins in the container: after the header of 5 bytes and
  // blocks 0 and 1 (each 4 header bytes and its packed bytes).
  std::size_t block_2 = 5;
  for (int b = 0; b < 2; ++b)
    block_2 += 4 + (std::size_t{good[block_2 + 2]} << 8 | good[block_2 + 3]);

  struct check_case {
    const char* name;
    bytes container;
    std::size_t present;
    bool cut_short;
    std::optional<std::size_t> mismatch_block;
    std::optional<std::size_t> stray_block;
    bool stray_crosses;
  };
  bytes one_short = good;
  one_short.pop_back();
  bytes two_blocks = good;
  two_blocks.resize(block_2);
  bytes declared_larger = good;
  declared_larger[block_2 + 1] = static_cast<std::uint8_t>(declared_larger[block_2 + 1] + 1);
  bytes declared_smaller = good;
  declared_smaller[5 + 1] = static_cast<std::uint8_t>(declared_smaller[5 + 1] - 10);
  const bytes extra_record = test::container_from_records(
      1, 2, 96, std::vector<std::vector<bytes>>{{bytes(5, 1), bytes(5, 2), bytes(5, 3)}});
  const std::vector<check_case> cases = {
      {"sound", good, 3, false, {}, {}, false},
      {"one byte short", one_short, 2, true, {}, {}, false},
      {"cut after block 1", two_blocks, 2, false, {}, {}, false},
      {"block 2 declares one byte more", declared_larger, 3, false, 2, {}, false},
      // Block 0 ends 10 bytes early by its size: its last record crosses it.
      {"block 0 declares 10 bytes less", declared_smaller, 3, false, 0, 0, true},
      {"a record beyond the track count", extra_record, 1, false, {}, 0, false},
  };
  for (const check_case& c : cases) {
    SCOPED_TRACE(c.name);
    const conversion_result r = convert_to_midi(c.container);
    ASSERT_EQ(r.error, conversion_error::none);
    const container_check& check = r.check;
    EXPECT_EQ(check.blocks_declared, c.container == extra_record ? 1U : 3U);
    EXPECT_EQ(check.blocks_present, c.present);
    EXPECT_EQ(check.next_block_cut_short, c.cut_short);
    ASSERT_EQ(check.first_size_mismatch.has_value(), c.mismatch_block.has_value());
    if (c.mismatch_block) {
      EXPECT_EQ(check.first_size_mismatch->block, *c.mismatch_block);
    }
    ASSERT_EQ(check.first_stray_record.has_value(), c.stray_block.has_value());
    if (c.stray_block) {
      EXPECT_EQ(check.first_stray_record->block, *c.stray_block);
      EXPECT_EQ(check.first_stray_record->crosses_block_end, c.stray_crosses);
    }
    EXPECT_EQ(check.sound(), c.container == good);
  }
}

TEST(RoundTrip, GeneratedSongsThroughLiteralContainers) {
  for (const unsigned track_count : {1U, 2U, 5U, 17U}) {
    for (const unsigned bars : {1U, 8U, 40U}) {
      SCOPED_TRACE(testing::Message() << track_count << " tracks, " << bars << " bars");
      const auto tracks = test::midi_song(track_count * 31 + bars, track_count, bars);
      // Cut every track into pieces of at most 700 bytes, one piece per
      // track per block, so long tracks span several blocks.
      std::vector<std::vector<bytes>> blocks;
      for (std::size_t offset = 0;; offset += 700) {
        std::vector<bytes> records;
        bool any = false;
        for (const auto& track : tracks) {
          const std::size_t begin = std::min(offset, track.size());
          const std::size_t end = std::min(offset + 700, track.size());
          records.emplace_back(track.begin() + static_cast<std::ptrdiff_t>(begin),
                               track.begin() + static_cast<std::ptrdiff_t>(end));
          any = any || end > begin;
        }
        if (!any) break;
        blocks.push_back(records);
      }
      const bytes container =
          test::container_from_records(1, static_cast<std::uint16_t>(track_count), 480, blocks);
      EXPECT_EQ(converted(container), test::midi_file(1, 480, tracks));
    }
  }
}

// The checked unpack: each stage's refusal, in the order of the checks, and
// what as_is lets through (only the music) and keeps (the stored bytes).
TEST(CheckedUnpack, RefusalsAndAsIs) {
  const bytes note = from_hex("00 90 3c 40 60 80 3c 00 00 ff 2f 00");
  const bytes cut_note = from_hex("00 90 3c 40 60 80 3c");  // ends inside an event
  const std::vector<bytes> sound_records = {note};
  const std::vector<bytes> broken_records = {cut_note};
  bytes long_header = test::stream_header(1, 1, 96);
  test::append(long_header, test::record_area(sound_records));
  long_header[7] = 7;  // the header's length: 7, which no reader follows
  const bytes missing_block = test::build_container(
      std::vector<test::stored_block>{{16, test::literal_block(test::stream_header(1, 0, 96))}}, 2);
  struct refusal {
    const char* what;
    bytes image;
    unpack_error error;
    const char* text;
  };
  const refusal cases[] = {
      {"not a container", from_hex("4d 54 68 64 00 00 00 06 00 00 00 00 00 60 00 00"),
       unpack_error::not_a_container, "file does not start with MThc"},
      {"a declared block missing", missing_block, unpack_error::damaged,
       "the container declares 2 blocks but the file holds only 1"},
      {"a stream of its header alone", single_block(test::stream_header(1, 0, 96)),
       unpack_error::conversion_failed, "the decoded data are too short or do not begin with MThp"},
      {"a header of another length", single_block(long_header),
       unpack_error::midi_header_unreadable, "the MIDI header declares a length of 7 bytes, not 6"},
      {"a track cut inside an event", test::container_from_records(1, 1, 96, {&broken_records, 1}),
       unpack_error::track_unreadable, "track 0: event runs past the end of the track at offset 4"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    const unpack_result refused = unpack_container(c.image);
    EXPECT_EQ(refused.error, c.error);
    EXPECT_EQ(error_text(refused), c.text);
    EXPECT_TRUE(refused.midi_file.used().empty());
    // As it is: only a fault of the music is let through, with the stored file.
    const unpack_result as_is = unpack_container(c.image, {.as_is = true});
    const bool music = c.error == unpack_error::midi_header_unreadable ||
                       c.error == unpack_error::track_unreadable;
    EXPECT_EQ(as_is.error, music ? unpack_error::none : c.error);
    if (music) {
      EXPECT_EQ(as_is.music_fault, c.error);
      EXPECT_EQ(warning_text(as_is), c.text);
      const auto stored = convert_to_midi(c.image);
      EXPECT_TRUE(std::ranges::equal(as_is.midi_file.used(), stored.midi_file.used()));
    }
  }
  const unpack_result sound =
      unpack_container(test::container_from_records(1, 1, 96, {&sound_records, 1}));
  EXPECT_EQ(sound.error, unpack_error::none);
  EXPECT_EQ(sound.music_fault, unpack_error::none);
  EXPECT_EQ(warning_text(sound), "");
}

}  // namespace
}  // namespace mthc
