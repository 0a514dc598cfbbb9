// The packer: MIDI files packed into containers convert back byte for byte,
// faults of the input are named, and the record layout stays readable.
#include <gtest/gtest.h>

#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/unpack.hpp>
#include <random>
#include <string>

#include "container/write_container.hpp"
#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi/regroup_tracks.hpp"
#include "midi/split_tracks.hpp"
#include "midi_variants.hpp"

namespace mthc {
namespace {

using test::bytes;

const bytes k_end_of_track = {0x00, 0xFF, 0x2F, 0x00};

// The file that the conversion gives back: the tracks as the reader takes
// them (any bytes: random data gets repaired as players repair tracks), and
// every empty track as the end-of-track event.
bytes expected_back(std::uint16_t format, std::uint16_t division,
                    const std::vector<bytes>& tracks) {
  const bytes smf = test::midi_file(format, division, tracks);
  const midi_file read = read_midi_file(smf);
  std::vector<bytes> back;
  for (const std::span<const std::uint8_t> t : read.tracks)
    back.push_back(t.empty() ? k_end_of_track : bytes(t.begin(), t.end()));
  return test::midi_file(format, division, back);
}

std::vector<std::uint16_t> unpacked_sizes(const bytes& container) {
  std::vector<std::uint16_t> sizes;
  std::size_t at = 5;
  for (std::size_t b = 0; b < container[4]; ++b) {
    sizes.push_back(static_cast<std::uint16_t>(container[at] << 8 | container[at + 1]));
    at += 4 + static_cast<std::size_t>(container[at + 2] << 8 | container[at + 3]);
  }
  EXPECT_EQ(at, container.size()) << "blocks fill the container exactly";
  return sizes;
}

// Packs, checks the container's header view, converts back and compares.
pack_result expect_round_trip(const std::vector<bytes>& tracks, encode_level level,
                              const std::string& label, std::uint16_t format = 1,
                              std::uint16_t division = 480) {
  const bytes smf = test::midi_file(format, division, tracks);
  pack_result packed = pack_midi(smf, {level});
  EXPECT_EQ(packed.error, pack_error::none) << label;
  if (packed.error != pack_error::none) return packed;
  EXPECT_EQ(check_container(packed.container), container_fault::none) << label;
  EXPECT_EQ(packed.block_count, packed.container[4]) << label;
  for (const std::uint16_t size : unpacked_sizes(packed.container))
    EXPECT_GT(size, 0U) << label;

  const conversion_result back = convert_to_midi(packed.container);
  EXPECT_EQ(back.error, conversion_error::none) << label;
  const auto used = back.midi_file.used();
  EXPECT_TRUE(bytes(used.begin(), used.end()) == expected_back(format, division, tracks))
      << label << ": " << used.size() << " bytes back for " << smf.size();
  std::size_t empty = 0;
  for (const bytes& t : tracks)
    empty += t.empty() ? 1U : 0U;
  EXPECT_EQ(packed.empty_tracks.size(), empty) << label;
  return packed;
}

std::vector<bytes> song(std::uint64_t seed, unsigned track_count, unsigned bars) {
  return test::midi_song(seed, track_count, bars);
}

TEST(PackRoundTrip, GeneratedSongs) {
  struct song_case {
    const char* name;
    std::vector<bytes> tracks;
  };
  std::vector<song_case> cases = {
      {"no tracks", {}},
      {"one empty track", {{}}},
      {"one one-byte track", {{0x42}}},
      {"empty and one-byte tracks mixed", {{}, {1}, {}, {}, {2}, {}}},
      {"tempo track only", song(1, 1, 4)},
      {"two tracks", song(2, 2, 16)},
      {"sixteen tracks", song(3, 16, 64)},
      {"forty tracks", song(4, 40, 8)},
      {"one long track, several blocks", {test::midi_like_bytes(5, 200000)}},
      {"long tracks around empty ones",
       {test::midi_like_bytes(6, 70000), {}, test::midi_like_bytes(7, 90000), {}}},
  };
  for (const song_case& c : cases) {
    for (const encode_level level : {encode_level::fast, encode_level::best})
      expect_round_trip(c.tracks, level, c.name);
  }
}

TEST(PackRoundTrip, HeaderFieldsComeBackUnchanged) {
  expect_round_trip(song(8, 3, 4), encode_level::best, "format 0, SMPTE division", 0, 0xE728);
  expect_round_trip(song(9, 2, 4), encode_level::fast, "format 2", 2, 96);
}

TEST(PackRoundTrip, RandomTrackContents) {
  // Property: any track contents come back, whatever their number and sizes.
  std::mt19937_64 rng(20240601);
  for (int round = 0; round < 40; ++round) {
    const std::size_t track_count = rng() % 24;
    std::vector<bytes> tracks;
    for (std::size_t t = 0; t < track_count; ++t) {
      const std::size_t size = rng() % 4 == 0 ? rng() % 3 : rng() % 6000;
      tracks.push_back(rng() % 2 == 0 ? test::random_bytes(rng(), size)
                                      : test::midi_like_bytes(rng(), size));
    }
    expect_round_trip(tracks, round % 2 == 0 ? encode_level::fast : encode_level::best,
                      "round " + std::to_string(round));
  }
}

TEST(PackRoundTrip, BlocksAreBalanced) {
  const pack_result packed =
      expect_round_trip(song(11, 12, 700), encode_level::fast, "twelve long tracks");
  ASSERT_EQ(packed.error, pack_error::none);
  const std::vector<std::uint16_t> sizes = unpacked_sizes(packed.container);
  ASSERT_GE(sizes.size(), 3U);
  const auto [low, high] = std::minmax_element(sizes.begin(), sizes.end());
  // Equal shares but for the record headers and the last block's remainder.
  EXPECT_LT(*high - *low, *high / 20) << "blocks of " << *low << " to " << *high << " bytes";
}

TEST(PackRoundTrip, RecordCountsThatNeedRounding) {
  // 256 tracks: a block with records for track 0 only would store count 1,
  // which reads back as 256 in either byte order; it must be rounded up.
  std::vector<bytes> tracks(256);
  tracks[0] = test::midi_like_bytes(12, 100000);
  tracks[255] = {0x00, 0xFF, 0x2F, 0x00};
  expect_round_trip(tracks, encode_level::fast, "256 tracks");
}

TEST(PackRoundTrip, UpToTheBlockLimit) {
  // One track: block 0 holds 65535 - 16 - 4 - 2 bytes of it, every later
  // block 65535 - 4 - 2.
  const std::size_t limit = (0xFFFF - 22) + 254 * (0xFFFF - 6);
  bytes track = test::repetitive_bytes(13, limit);
  const pack_result full = expect_round_trip({track}, encode_level::fast, "255 full blocks");
  EXPECT_EQ(full.block_count, 255U);
  track.push_back(0);
  const pack_result over =
      pack_midi(test::midi_file(1, 96, std::vector<bytes>{track}), {encode_level::fast});
  EXPECT_EQ(over.error, pack_error::too_much_data);
  EXPECT_EQ(over.value, track.size());
  EXPECT_EQ(over.track_data_size, track.size());
}

TEST(PackRoundTrip, HighestTrackWithData) {
  std::vector<bytes> tracks(k_max_track_with_data + 1);
  tracks.back() = {0x90, 0x3C, 0x40};
  expect_round_trip(tracks, encode_level::fast, "last reachable track");
  tracks.push_back({0x80});
  const pack_result r =
      pack_midi(test::midi_file(1, 96, std::vector<bytes>(tracks)), {encode_level::fast});
  EXPECT_EQ(r.error, pack_error::too_many_tracks);
  EXPECT_EQ(r.value, k_max_track_with_data + 1);
  // Empty tracks after it need no records at all.
  tracks.back().clear();
  tracks.resize(0xFFFF);
  expect_round_trip(tracks, encode_level::fast, "65535 tracks, most of them empty");
}

struct fault_case {
  const char* name;
  bytes file;
  pack_error error;
  std::size_t offset = 0;
  std::size_t value = 0;
};

TEST(PackFaults, EveryFaultIsNamed) {
  const bytes riff_no_data = test::from_hex("52494646 0c000000 524d4944 4c495354 00000000");
  const bytes riff_data_not_midi = test::from_hex(
      "52494646 12000000 524d4944 64617461 06000000 "
      "4d546864 0000");
  const std::vector<fault_case> cases = {
      {"empty file", {}, pack_error::not_midi},
      {"seven bytes", test::from_hex("4d546864 000000"), pack_error::not_midi},
      {"RIFF, not RMID", test::from_hex("52494646 04000000 57415645"), pack_error::not_midi},
      {"RMID without a data chunk", riff_no_data, pack_error::not_midi},
      {"RMID data chunk cut short", riff_data_not_midi, pack_error::not_midi},
      {"header length 0", test::from_hex("4d546864 00000000"), pack_error::header_too_short, 0, 0},
      {"header length 5", test::from_hex("4d546864 00000005 0001 0000 00"),
       pack_error::header_too_short, 0, 5},
      {"header cut short", test::from_hex("4d546864 00000006 0001"), pack_error::chunk_past_end},
      {"header length 8, cut short", test::from_hex("4d546864 00000008 0001 0000 0060"),
       pack_error::chunk_past_end},
  };
  for (const bool strict : {false, true}) {
    for (const fault_case& c : cases) {
      const pack_result r = pack_midi(c.file, {encode_level::fast, strict});
      EXPECT_EQ(r.error, c.error) << c.name;
      EXPECT_EQ(r.offset, c.offset) << c.name;
      EXPECT_EQ(r.value, c.value) << c.name;
      EXPECT_TRUE(r.container.empty()) << c.name;
    }
  }
}

TEST(PackFaults, ATrackPastTheEndIsTakenAsFarAsItGoes) {
  // Lenient packing takes what there is (see PackRealWorld); strict packing
  // names the chunk and the bytes missing.
  const bytes good = test::midi_file(1, 96, std::vector<bytes>{{0x00, 0xFF, 0x2F, 0x00}, {1, 2}});
  bytes truncated_track = good;
  truncated_track.pop_back();
  bytes cut_to_one_byte =
      test::midi_file(1, 96, std::vector<bytes>{{0x00, 0xFF, 0x2F, 0x00}, {1, 2}, {0, 0, 0}});
  cut_to_one_byte.resize(cut_to_one_byte.size() - 2);
  const std::vector<fault_case> cases = {
      {"track runs past the end", truncated_track, pack_error::track_cut_by_end_of_file, 26, 1},
      {"a track of one byte of three", cut_to_one_byte, pack_error::track_cut_by_end_of_file,
       good.size(), 2},
  };
  for (const fault_case& c : cases) {
    EXPECT_EQ(pack_midi(c.file, {encode_level::fast}).error, pack_error::none) << c.name;
    const pack_result r = pack_midi(c.file, {encode_level::fast, true});
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.offset, c.offset) << c.name;
    EXPECT_EQ(r.value, c.value) << c.name;
    EXPECT_TRUE(r.container.empty()) << c.name;
  }
}

TEST(PackFaults, MoreTracksThanTheCountHolds) {
  bytes file = test::midi_file(1, 96, std::vector<bytes>(0xFFFF));
  test::append(file, test::chunk("MTrk", bytes{}));
  const pack_result r = pack_midi(file, {encode_level::fast});
  EXPECT_EQ(r.error, pack_error::too_many_tracks);
  EXPECT_EQ(r.value, 0xFFFFU);
  EXPECT_EQ(r.chunk_count, 0x10000U);
}

// ---- Real-world files: what is changed, and how the file comes back ----

void expect_changes(const std::vector<midi_change>& got, const std::vector<midi_change>& want,
                    const std::string& label) {
  ASSERT_EQ(got.size(), want.size()) << label;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].kind, want[i].kind) << label << ", change " << i;
    EXPECT_EQ(got[i].offset, want[i].offset) << label << ", change " << i;
    EXPECT_EQ(got[i].value, want[i].value) << label << ", change " << i;
    EXPECT_EQ(got[i].chunk_count, want[i].chunk_count) << label << ", change " << i;
    EXPECT_EQ(got[i].tag, want[i].tag) << label << ", change " << i;
    EXPECT_EQ(got[i].track, want[i].track) << label << ", change " << i;
    EXPECT_EQ(got[i].count, want[i].count) << label << ", change " << i;
  }
}

bytes used_bytes(const byte_buffer& buffer) {
  const auto used = buffer.used();
  return {used.begin(), used.end()};
}

TEST(PackRealWorld, ChangedAsAnnouncedAndRefusedWhenStrict) {
  // Property over generated songs of 2 to 9 tracks, at both levels: every
  // variant packs, announces its changes and comes back as players take it;
  // with strict it is refused with the first change's details.
  std::mt19937_64 rng(77);
  for (int round = 0; round < 6; ++round) {
    const std::vector<bytes> tracks = song(rng(), 2 + static_cast<unsigned>(rng() % 8), 2);
    const encode_level level = round % 2 == 0 ? encode_level::fast : encode_level::best;
    for (const test::midi_variant& v : test::real_world_variants(tracks)) {
      const std::string label = v.name + ", round " + std::to_string(round);
      const pack_result lenient = pack_midi(v.file, {level});
      ASSERT_EQ(lenient.error, pack_error::none) << label;
      expect_changes(lenient.changes, v.changes, label);
      EXPECT_EQ(used_bytes(convert_to_midi(lenient.container).midi_file), v.back) << label;

      const pack_result strict = pack_midi(v.file, {level, true});
      EXPECT_EQ(strict.error, v.strict) << label;
      EXPECT_TRUE(strict.changes.empty()) << label;
      if (v.strict == pack_error::none) {
        EXPECT_EQ(strict.container, lenient.container) << label;
        continue;
      }
      EXPECT_TRUE(strict.container.empty()) << label;
      if (v.changes.empty()) continue;
      const midi_change& first = v.changes.front();
      EXPECT_EQ(strict.offset, first.offset) << label;
      EXPECT_EQ(strict.value, first.value + (v.strict == pack_error::header_length ? 6 : 0))
          << label;
      EXPECT_EQ(strict.chunk_count, first.chunk_count) << label;
      EXPECT_EQ(strict.tag, first.tag) << label;
      EXPECT_EQ(strict.track, first.track) << label;
    }
  }
}

TEST(PackRealWorld, StrictPassesExactlyWhatUnpackingGivesBack) {
  // A file packs with strict exactly when unpacking the container of lenient
  // packing gives it back byte for byte; what unpacking refuses comes back
  // with as_is as lenient packing stored it.
  for (const test::midi_variant& v : test::real_world_variants(song(78, 4, 2))) {
    const pack_result lenient = pack_midi(v.file, {encode_level::fast});
    ASSERT_EQ(lenient.error, pack_error::none) << v.name;
    const unpack_result unpacked = unpack_container(lenient.container);
    const bool given_back =
        unpacked.error == unpack_error::none && used_bytes(unpacked.midi_file) == v.file;
    const pack_result strict = pack_midi(v.file, {encode_level::fast, true});
    EXPECT_EQ(strict.error == pack_error::none, given_back) << v.name;
    const bool refused = lenient.unknown_format || lenient.unreadable_track;
    EXPECT_EQ(unpacked.error != unpack_error::none, refused) << v.name;
    if (refused) {
      const unpack_result as_is = unpack_container(lenient.container, {true});
      EXPECT_EQ(as_is.error, unpack_error::none) << v.name;
      EXPECT_EQ(used_bytes(as_is.midi_file), v.back) << v.name;
    }
  }
}

TEST(PackRealWorld, ManyChunksMakeOneChange) {
  // 100,000 empty foreign chunks and 3,000 tracks without end-of-track: one
  // change of each kind, with its count, and no more memory than the music.
  std::vector<bytes> tracks(3000, bytes{0x00, 0x90, 0x3C, 0x40});
  bytes file = test::midi_file(1, 96, tracks);
  for (int i = 0; i < 100000; ++i)
    test::append(file, test::chunk("JUNK", bytes{}));
  const pack_result packed = pack_midi(file, {encode_level::fast});
  ASSERT_EQ(packed.error, pack_error::none);
  ASSERT_EQ(packed.changes.size(), 2U);
  EXPECT_EQ(packed.changes[0].kind, midi_change_kind::end_of_track_added);
  EXPECT_EQ(packed.changes[0].count, 3000U);
  EXPECT_EQ(packed.changes[1].kind, midi_change_kind::chunk_dropped);
  EXPECT_EQ(packed.changes[1].count, 100000U);
  EXPECT_EQ(packed.changes[1].offset, 14 + 3000 * 12U);
  EXPECT_EQ(unpack_container(packed.container).error, unpack_error::none);
}

// ---- Files that only fit when single blocks are made smaller ----

TEST(PackSizes, OnlyTheBlockThatDoesNotCompressIsMadeSmaller) {
  struct size_case {
    const char* name;
    std::vector<bytes> tracks;
    std::size_t max_blocks;
    bool even_after;  // the blocks after the first hold equal shares
  };
  // The last track needs 29122 records: 58248 bytes before its data, so its
  // block cannot be as small as a block of random data must be.
  std::vector<bytes> many(29122);
  many.front() = test::random_bytes(3, 70000);
  many.back() = k_end_of_track;
  bytes random_then_zeros = test::random_bytes(4, 65000);
  random_then_zeros.resize(65000 + 16000000);
  const std::vector<size_case> cases = {
      {"random track, 29120 empty ones, one more", many, 3, false},
      {"random bytes, then 16 MB of zeros", {random_then_zeros}, 247, true},
      {"a random track, then 16 MB of zeros",
       {test::random_bytes(5, 65000), bytes(16000000, 0)},
       247,
       true},
  };
  for (const size_case& c : cases) {
    const pack_result packed = expect_round_trip(c.tracks, encode_level::fast, c.name, 1, 96);
    ASSERT_EQ(packed.error, pack_error::none) << c.name;
    EXPECT_LE(packed.block_count, c.max_blocks) << c.name;
    std::size_t data = 0;
    for (const bytes& t : c.tracks)
      data += t.size();
    EXPECT_EQ(packed.track_data_size, data) << c.name;
    EXPECT_EQ(packed.track_count, c.tracks.size()) << c.name;
    const std::vector<std::uint16_t> sizes = unpacked_sizes(packed.container);
    EXPECT_EQ(sizes.front(), container::k_always_fitting_block_size) << c.name;
    EXPECT_GT(sizes.back(), container::k_always_fitting_block_size) << c.name;
    if (!c.even_after) continue;
    // The blocks after it were laid out again at full size, and even (but for
    // the last one's remainder).
    const auto [low, high] = std::minmax_element(sizes.begin() + 1, sizes.end() - 1);
    EXPECT_GT(*low, container::k_always_fitting_block_size) << c.name;
    EXPECT_LT(*high - *low, 8) << c.name;
  }
}

// ---- A block at a time ----

TEST(PackInSteps, SameContainerAsAtOnceWithProgress) {
  // Songs and a random track: one block is made smaller on the way.
  std::vector<bytes> tracks = song(21, 6, 300);
  tracks.insert(tracks.begin() + 2, test::random_bytes(22, 150000));
  const bytes smf = test::midi_file(1, 480, tracks);
  const pack_result whole = pack_midi(smf, {encode_level::fast});
  ASSERT_EQ(whole.error, pack_error::none);
  const std::vector<std::uint16_t> sizes = unpacked_sizes(whole.container);
  ASSERT_GE(sizes.size(), 4U);
  ASSERT_NE(std::find(sizes.begin() + 1, sizes.end(), container::k_always_fitting_block_size),
            sizes.end());
  for (const std::size_t stop_after : {std::size_t{0}, std::size_t{2}, whole.block_count}) {
    packer job = start_packing(smf, {encode_level::fast});
    pack_progress before = packing_progress(job);
    EXPECT_EQ(before.done, 0U);
    EXPECT_GT(before.total, smf.size() - 14 - 8 * tracks.size());
    for (std::size_t step = 0; step < stop_after; ++step) {
      const bool more = continue_packing(job);
      const pack_progress now = packing_progress(job);
      EXPECT_GT(now.done, before.done);
      EXPECT_LE(now.done, now.total);
      EXPECT_EQ(more, step + 1 < whole.block_count);
      before = now;
    }
    if (stop_after == whole.block_count) {
      EXPECT_EQ(before.done, before.total);
      EXPECT_FALSE(continue_packing(job));
    }
    const pack_result r = finish_packing(std::move(job));
    EXPECT_EQ(r.error, pack_error::none);
    EXPECT_TRUE(r.container == whole.container) << "stopped after " << stop_after;
  }
}

TEST(PackInSteps, EndsAtOnceWhenTheFileCannotBePacked) {
  packer refused = start_packing(test::from_hex("4d546864 00000002"), {});
  EXPECT_FALSE(continue_packing(refused));
  EXPECT_EQ(packing_progress(refused).total, 0U);
  EXPECT_EQ(finish_packing(std::move(refused)).error, pack_error::header_too_short);
  // A packer whose state could not be allocated.
  packer none;
  EXPECT_FALSE(continue_packing(none));
  EXPECT_EQ(finish_packing(std::move(none)).error, pack_error::out_of_memory);
}

TEST(RecordCount, StoredCountsReadBack) {
  for (const std::uint16_t track_count :
       std::vector<std::uint16_t>{0, 1, 2, 3, 255, 256, 257, 512, 4660, 0x3412, 65535}) {
    std::size_t unstorable = 0;
    for (std::uint32_t count = 0; count <= track_count; ++count) {
      const auto stored = midi::record_count_bytes(static_cast<std::uint16_t>(count), track_count);
      if (!stored) {
        ++unstorable;
        continue;
      }
      EXPECT_EQ(midi::read_record_count((*stored)[0], (*stored)[1], track_count), count)
          << count << " of " << track_count;
    }
    EXPECT_TRUE(midi::record_count_bytes(track_count, track_count).has_value());
    // Unstorable counts are rare: the track count's byte swap, and counts of
    // 256 or more with a zero low byte.
    EXPECT_LE(unstorable, 1U + track_count / 256) << track_count;
  }
  EXPECT_FALSE(midi::record_count_bytes(1, 256).has_value());
}

}  // namespace
}  // namespace mthc
