// Where faults and changes are: the track and offset a script is given must
// be the ones the user reads in the text, for every result a front end shows.
#include <gtest/gtest.h>

#include <mthc/messages.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/unpack.hpp>
#include <optional>
#include <regex>
#include <string>

#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi_variants.hpp"

namespace mthc {
namespace {

using test::bytes;

// The number after the first "track " or "offset " of a text.
std::optional<std::size_t> named(const std::string& text, const char* word) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(std::string("\\b") + word + " ([0-9]+)"))) {
    return std::nullopt;
  }
  return std::stoul(match[1]);
}

void expect_place_of_text(const fault_place& place, const std::string& text) {
  SCOPED_TRACE(text);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(place.track, named(text, "track"));
  EXPECT_EQ(place.offset, named(text, "offset"));
}

// Every place of packing a file leniently and strictly, and of unpacking
// the lenient container with and without as_is.
void expect_places_of(const bytes& file) {
  const pack_result lenient = pack_midi(file, {encode_level::fast});
  if (lenient.error != pack_error::none) {
    expect_place_of_text(error_place(lenient), error_text(lenient));
    return;
  }
  for (const midi_change& change : lenient.changes)
    expect_place_of_text(change_place(change), change_text(change));
  if (lenient.unreadable_track) {
    expect_place_of_text(track_fault_place(*lenient.unreadable_track),
                         track_fault_text(*lenient.unreadable_track));
  }
  const pack_result strict = pack_midi(file, {encode_level::fast, true});
  if (strict.error != pack_error::none)
    expect_place_of_text(error_place(strict), error_text(strict));
  const unpack_result unpacked = unpack_container(lenient.container);
  if (unpacked.error != unpack_error::none) {
    expect_place_of_text(error_place(unpacked), error_text(unpacked));
    const unpack_result as_is = unpack_container(lenient.container, {.as_is = true});
    expect_place_of_text(warning_place(as_is), warning_text(as_is));
  }
}

TEST(FaultPlaces, ChangesAndPackingFaultsAreWhereTheirTextsSay) {
  for (const test::midi_variant& v : test::real_world_variants(test::midi_song(5, 4, 2))) {
    SCOPED_TRACE(v.name);
    expect_places_of(v.file);
  }
  // Changes that happen many times are placed at the first, as worded.
  std::vector<bytes> unended(3, test::from_hex("00 90 3c 40"));
  bytes many = test::midi_file(1, 96, unended);
  for (int i = 0; i < 3; ++i)
    test::append(many, test::chunk("JUNK", test::from_hex("01 02")));
  expect_places_of(many);
}

TEST(FaultPlaces, FilesThatDoNotReadAreWhereTheirTextsSay) {
  const bytes track = test::from_hex("00 90 3c 40 60 80 3c 00 00 ff 2f 00");
  bytes header_too_short = test::from_hex("4d 54 68 64 00 00 00 04 00 01 00 01");
  bytes header_past_end = test::from_hex("4d 54 68 64 00 00 00 06 00 01");
  // One track more than a 16-bit count holds; and data in a track beyond the
  // last whose block can hold a record.
  std::vector<bytes> too_many(65536);
  std::vector<bytes> data_too_far(k_max_track_with_data + 2);
  data_too_far.back() = track;
  const bytes files[] = {test::from_hex("00 01 02 03 04 05 06 07"), header_too_short,
                         header_past_end, test::midi_file(1, 96, too_many),
                         test::midi_file(1, 96, data_too_far)};
  for (const bytes& file : files) {
    const pack_result packed = pack_midi(file, {encode_level::fast});
    ASSERT_NE(packed.error, pack_error::none);
    expect_place_of_text(error_place(packed), error_text(packed));
    const file_summary listed = summarize_file(file);
    if (listed.error != file_error::none) {
      expect_place_of_text(error_place(listed), error_text(listed));
    }
  }
  EXPECT_EQ(error_place(pack_midi(test::midi_file(1, 96, data_too_far))).track,
            k_max_track_with_data + 1);
}

TEST(FaultPlaces, ContainersAreWhereTheirTextsSay) {
  const std::vector<bytes> cut = {test::from_hex("00 90 3c 40 60 80 3c")};
  const bytes sound = pack_midi(test::midi_file(1, 96, test::midi_song(9, 2, 2))).container;
  bytes damaged = sound;
  damaged[4] = static_cast<std::uint8_t>(damaged[4] + 1);  // a block more than it holds
  const bytes images[] = {
      test::from_hex("4d 54 68 63 00"),
      test::from_hex("4d 54 68 64 00 00 00 06 00 00 00 00 00 60 00 00"),
      test::from_hex("4d 54 68 63 00 00 00 00 00 00 4d 54 68 71 00 00"),
      damaged,
      test::container_from_records(1, 1, 96, {&cut, 1}),
  };
  for (const bytes& image : images) {
    const unpack_result refused = unpack_container(image);
    ASSERT_NE(refused.error, unpack_error::none);
    expect_place_of_text(error_place(refused), error_text(refused));
    const unpack_result as_is = unpack_container(image, {.as_is = true});
    if (as_is.error == unpack_error::none) {
      expect_place_of_text(warning_place(as_is), warning_text(as_is));
    }
    const file_summary listed = summarize_file(image);
    if (listed.error != file_error::none) {
      expect_place_of_text(error_place(listed), error_text(listed));
    }
  }
  EXPECT_EQ(error_place(unpack_container(sound)).track, std::nullopt);
  EXPECT_EQ(warning_place(unpack_container(sound)).offset, std::nullopt);
}

}  // namespace
}  // namespace mthc
