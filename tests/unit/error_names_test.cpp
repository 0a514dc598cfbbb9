// The machine names of faults and changes: what the page and the Python
// module key their words and kinds by, so a slip here reaches every user.
#include <gtest/gtest.h>

#include <algorithm>
#include <mthc/messages.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/unpack.hpp>
#include <set>
#include <string>
#include <string_view>

#include "bit_writer.hpp"
#include "container_builder.hpp"
#include "midi/read_midi_file.hpp"

namespace mthc {
namespace {

using test::bytes;
using test::from_hex;

bool well_formed(std::string_view name) {
  return !name.empty() && name.front() != '_' && name.back() != '_' &&
         std::ranges::all_of(name, [](char c) { return (c >= 'a' && c <= 'z') || c == '_'; });
}

// The names of an enum's values, from the first up to the first value that
// has none: every value of these contiguous enums, if each is named.
template <typename Enum, typename Name>
std::vector<std::string_view> names_of(Name name) {
  std::vector<std::string_view> names;
  for (int i = 0;; ++i) {
    const std::string_view n = name(static_cast<Enum>(i));
    if (n == "unknown") break;
    names.push_back(n);
  }
  return names;
}

template <typename Enum>
std::vector<std::string_view> error_names_of(Enum last) {
  const auto names = names_of<Enum>([](Enum e) { return error_name(e); });
  EXPECT_EQ(names.size(), static_cast<std::size_t>(last) + 1) << "a value has no name";
  return names;
}

// Each value has its own well-formed name, and only `none` is "none".
void expect_distinct(const std::vector<std::string_view>& names, bool first_is_none) {
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(std::string(names[i]));
    EXPECT_TRUE(well_formed(names[i]));
    EXPECT_TRUE(seen.insert(names[i]).second) << "named twice";
    EXPECT_EQ(names[i] == "none", first_is_none && i == 0);
  }
}

TEST(ErrorNames, EveryValueHasItsOwnName) {
  const std::vector<std::vector<std::string_view>> enums = {
      error_names_of(pack_error::internal_error),
      error_names_of(midi_error::out_of_memory),
      error_names_of(container_fault::missing_mthp_tag),
      error_names_of(conversion_error::out_of_memory),
      error_names_of(check_problem::missing_blocks),
      error_names_of(track_error::meta_event_unreadable),
      error_names_of(unpack_error::out_of_memory),
      error_names_of(file_error::out_of_memory),
      error_names_of(encode_error::internal_error)};
  for (const auto& names : enums)
    expect_distinct(names, true);
  const auto changes =
      names_of<midi_change_kind>([](midi_change_kind k) { return change_name(k); });
  EXPECT_EQ(changes.size(),
            static_cast<std::size_t>(midi_change_kind::track_cut_by_end_of_file) + 1);
  expect_distinct(changes, false);
  // The front ends' refusal of a file too large to read is a fault of its
  // own, named as no other.
  EXPECT_TRUE(well_formed(too_large_name()));
  for (const auto& names : enums)
    EXPECT_EQ(std::ranges::count(names, too_large_name()), 0);
  EXPECT_EQ(std::ranges::count(changes, too_large_name()), 0);
}

// A fault that reading a MIDI file finds is refused by packing under the
// same name, so a script need not know which of the two met it.
TEST(ErrorNames, ReadingAndPackingNameAFaultAlike) {
  for (const midi_error e :
       {midi_error::not_midi, midi_error::header_too_short, midi_error::chunk_past_end,
        midi_error::too_many_tracks, midi_error::out_of_memory}) {
    EXPECT_EQ(error_name(e), error_name(midi::pack_error_of(e)));
  }
}

// The name of a result is that of the fault its text describes, and the
// same whether unpacking, checking or listing met the file.
TEST(ErrorNames, ResultsAreNamedByTheirExactFault) {
  const bytes note = from_hex("00 90 3c 40 60 80 3c 00 00 ff 2f 00");
  const bytes cut_note = from_hex("00 90 3c 40 60 80 3c");
  const std::vector<bytes> sound_records = {note};
  const std::vector<bytes> broken_records = {cut_note};
  bytes long_header = test::stream_header(1, 1, 96);
  test::append(long_header, test::record_area(sound_records));
  long_header[7] = 7;
  bytes format_3 = test::stream_header(3, 1, 96);
  test::append(format_3, test::record_area(sound_records));
  const auto one_block = [](const bytes& stream) {
    return test::build_container(std::vector<test::stored_block>{
        {static_cast<std::uint16_t>(stream.size()), test::literal_block(stream)}});
  };
  bytes sound_stream = test::stream_header(1, 1, 96);
  test::append(sound_stream, test::record_area(sound_records));
  const bytes missing_block = test::build_container(
      std::vector<test::stored_block>{
          {static_cast<std::uint16_t>(sound_stream.size()), test::literal_block(sound_stream)}},
      2);
  bytes wrong_size = one_block(format_3);
  wrong_size[6] = static_cast<std::uint8_t>(wrong_size[6] + 1);  // declares one byte more

  struct named {
    const char* what;
    bytes image;
    std::string_view name;
    bool music;  // as_is lets it through, under the same name
  };
  const named cases[] = {
      {"too small", from_hex("4d 54 68 63 00"), "too_small", false},
      {"not a container", from_hex("4d 54 68 64 00 00 00 06 00 00 00 00 00 60 00 00"), "not_mthc",
       false},
      {"no MThp tag", from_hex("4d 54 68 63 00 00 00 00 00 00 4d 54 68 71 00 00"),
       "missing_mthp_tag", false},
      {"a declared block missing", missing_block, "missing_blocks", false},
      {"a block of another size", wrong_size, "size_mismatch", false},
      {"a stream of its header alone", one_block(test::stream_header(1, 0, 96)), "stream_invalid",
       false},
      {"a header of another length", one_block(long_header), "header_length", true},
      {"format 3", one_block(format_3), "unknown_format", true},
      {"a track cut inside an event", test::container_from_records(1, 1, 96, {&broken_records, 1}),
       "track_unreadable", true},
      {"sound", test::container_from_records(1, 1, 96, {&sound_records, 1}), "", false},
  };
  for (const named& c : cases) {
    SCOPED_TRACE(c.what);
    const unpack_result refused = unpack_container(c.image);
    EXPECT_EQ(error_name(refused), c.name);
    EXPECT_EQ(error_name(refused).empty(), error_text(refused).empty());
    const unpack_result as_is = unpack_container(c.image, {.as_is = true});
    EXPECT_EQ(error_name(as_is), c.music ? "" : c.name);
    EXPECT_EQ(warning_name(as_is), c.music ? c.name : "");
    // Listing reads no music, but names the faults it meets alike.
    const file_summary listed = summarize_file(c.image);
    if (listed.error != file_error::none) {
      EXPECT_EQ(error_name(listed), c.name);
    }
  }
}

}  // namespace
}  // namespace mthc
