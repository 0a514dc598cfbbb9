// The checks that the encoder keeps in every build, fed the broken states,
// links and parses that a faulty change to the best level could make: each
// must be refused, so that encode_block reports an internal error instead
// of reading outside the block or writing a block that does not decode back.
#include "codec/parse_checks.hpp"

#include <gtest/gtest.h>

#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <mthc/messages.hpp>
#include <optional>
#include <string>
#include <vector>

#include "codec/block_code.hpp"
#include "codec/parse_table.hpp"
#include "codec/write_block.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

using bytes = std::vector<std::uint8_t>;
using codec::lz_parse;

TEST(ParseChecks, StateInBlock) {
  struct state_case {
    std::uint32_t last_distance;
    std::uint32_t position;
    bool in_block;
  };
  const state_case cases[] = {
      {1, 0, true},            // the decoder's first state
      {2, 0, false},           // nothing before position 0
      {0, 0, false},           // 0 is no distance
      {0, 7, false},           // (and would price from outside the tables)
      {1, 7, true},            //
      {7, 7, true},            // back to the block's first byte
      {8, 7, false},           // one before it
      {0xFFFF, 0xFFFF, true},  // the farthest a block allows
      {0x10000, 0xFFFF, false},
      {0xFFFFFFFF, 0xFFFF, false},
  };
  for (const state_case& c : cases) {
    EXPECT_EQ(codec::state_in_block(c.last_distance, c.position), c.in_block)
        << "distance " << c.last_distance << " at " << c.position;
  }
}

// "abcabcabcX" and a far repeat: bytes that each kind of step can cover.
bytes sample_data() {
  bytes data = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'X'};
  const bytes filler = test::random_bytes(5, codec::k_long_distance + 10);
  data.insert(data.end(), filler.begin(), filler.end());
  data.insert(data.end(), {'a', 'b', 'c', 'a'});  // at distance 0xD00 + 20
  return data;
}

TEST(ParseChecks, ParseCoversOnlyWhatDecodesBack) {
  const bytes data = sample_data();
  const auto size = static_cast<std::uint32_t>(data.size());
  const std::uint32_t far = size - 4;  // where the far repeat starts
  const std::uint32_t far_distance = far;
  const std::uint32_t filler = size - 14;  // literals between "X" and the repeat
  struct parse_case {
    const char* name;
    lz_parse parse;
    bool covers;
  };
  const std::vector<parse_case> cases = {
      {"literals only", {{0, size}}, true},
      {"overlapping match, far match", {{0, 3}, {3, 6}, {0, 1 + filler}, {far_distance, 4}}, true},
      {"far match of three, then a literal",
       {{0, 3}, {3, 6}, {0, 1 + filler}, {far_distance, 3}, {0, 1}},
       true},
      {"empty parse", {}, false},
      {"short of the end", {{0, size - 1}}, false},
      {"literals past the end", {{0, size + 1}}, false},
      {"match past the end", {{0, size - 2}, {3, 3}}, false},
      {"a count that wraps", {{0, 3}, {3, 0xFFFFFFFF}}, false},
      {"match before the block", {{0, 3}, {4, 6}, {0, 1 + filler + 4}}, false},
      {"match shorter than its code", {{0, 3}, {3, 1}, {0, 5 + filler + 5}}, false},
      {"far match of two", {{0, 3}, {3, 6}, {0, 1 + filler}, {far_distance, 2}, {0, 2}}, false},
      {"match at the wrong distance", {{0, 3}, {2, 6}, {0, 1 + filler + 4}}, false},
      {"match one byte too long", {{0, 3}, {3, 7}, {0, filler + 4}}, false},
  };
  for (const parse_case& c : cases) {
    EXPECT_EQ(codec::parse_covers(data, c.parse), c.covers) << c.name;
    // The writer refuses what the check refuses, and what it writes decodes
    // back.
    const std::optional<bytes> block = codec::write_block(data, c.parse);
    ASSERT_EQ(block.has_value(), c.covers) << c.name;
    if (!block) continue;
    bytes out(data.size());
    EXPECT_EQ(decode_block(*block, out), data.size()) << c.name;
    EXPECT_EQ(out, data) << c.name;
  }
  EXPECT_TRUE(codec::parse_covers({}, {}));
}

// A table of `size` + 1 positions, whose rings hold them all (nothing is
// cleared behind), with the decoder's first state at 0.
codec::parse_table start_table(std::uint32_t size) {
  codec::parse_table table(size + 1, 64);
  table.offer(0, 0, 1, codec::repeat_saving(1), codec::offer_source{0, 0, 0});
  table.keep(0);
  return table;
}

// Offers a literal from `from` (slot `slot` there) to `to`, and keeps `to`.
void literal_to(codec::parse_table& table, std::uint32_t from, std::uint32_t to,
                std::uint32_t slot = 0) {
  table.offer(to, 9 * to, 1, codec::repeat_saving(1), codec::offer_source{from, 0, slot});
  table.keep(to);
}

TEST(ParseChecks, CheapestPathFollowsOnlyLinksBack) {
  {  // Literals, a match taken whole over positions passed over, literals.
    codec::parse_table table = start_table(40);
    literal_to(table, 0, 1);
    literal_to(table, 1, 2);
    table.offer(30, 30, 2, codec::repeat_saving(2), codec::offer_source{2, 2, 0});
    table.pass_over(3, 30);
    table.keep(30);
    EXPECT_EQ(table.kept_slots(30), 1U);
    for (std::uint32_t p = 31; p <= 40; ++p)
      literal_to(table, p - 1, p);
    const std::optional<lz_parse> path = codec::cheapest_path(table, 40);
    ASSERT_TRUE(path.has_value());
    ASSERT_EQ(path->size(), 3U);
    EXPECT_EQ((*path)[0].distance, 0U);
    EXPECT_EQ((*path)[0].count, 2U);
    EXPECT_EQ((*path)[1].distance, 2U);
    EXPECT_EQ((*path)[1].count, 28U);
    EXPECT_EQ((*path)[2].distance, 0U);
    EXPECT_EQ((*path)[2].count, 10U);
  }
  struct broken_case {
    const char* name;
    std::uint32_t from;  // the link of position 4
    std::uint32_t from_slot;
    bool pass_over;  // positions 2 and 3 passed over instead of kept
  };
  const broken_case broken[] = {
      {"a link to itself", 4, 0, false},
      {"a link forward", 5, 0, false},
      {"a slot not kept there", 3, 1, false},
      {"a link into positions passed over", 3, 0, true},
  };
  for (const broken_case& c : broken) {
    codec::parse_table table = start_table(5);
    literal_to(table, 0, 1);
    if (c.pass_over) {
      table.pass_over(2, 4);
    } else {
      literal_to(table, 1, 2);
      literal_to(table, 2, 3);
    }
    table.offer(4, 36, 1, codec::repeat_saving(1), codec::offer_source{c.from, 0, c.from_slot});
    table.keep(4);
    literal_to(table, 4, 5);
    EXPECT_FALSE(codec::cheapest_path(table, 5).has_value()) << c.name;
  }
  {  // An end that no arrival reached.
    codec::parse_table table = start_table(2);
    literal_to(table, 0, 1);
    table.keep(2);
    EXPECT_FALSE(codec::cheapest_path(table, 2).has_value());
  }
}

TEST(ParseChecks, InternalErrorHasItsOwnText) {
  const std::string encode_text = error_text(encode_error::internal_error);
  EXPECT_NE(encode_text.find("internal error"), std::string::npos) << encode_text;
  for (const encode_error other :
       {encode_error::none, encode_error::too_large, encode_error::out_of_memory})
    EXPECT_NE(error_text(other), encode_text);
  EXPECT_TRUE(error_text(encode_error::none).empty());

  pack_result packed;
  packed.error = pack_error::internal_error;
  EXPECT_EQ(error_text(packed), encode_text);
  packed.error = pack_error::out_of_memory;
  EXPECT_NE(error_text(packed), encode_text);
}

}  // namespace
}  // namespace mthc
