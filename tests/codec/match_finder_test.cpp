// The best level's match finder against a search of every earlier position:
// what it reports are real matches, and it misses none of those the parse
// relies on (the nearest distance of every length, the nearest two-byte
// match within reach).
#include "codec/match_finder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "codec/block_code.hpp"
#include "codec/common_length.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

using bytes = std::vector<std::uint8_t>;
using codec::match_candidate;

constexpr std::uint32_t k_nice = 32;
constexpr std::uint32_t k_depth = 64;

// The nearest earlier position that matches at least `length` bytes (capped
// at the nice length), as a distance, or 0.
std::uint32_t nearest_with(const bytes& data, std::uint32_t position, std::uint32_t length) {
  const std::uint32_t limit =
      std::min<std::uint32_t>(k_nice, static_cast<std::uint32_t>(data.size()) - position);
  for (std::uint32_t earlier = position; earlier-- > 0;) {
    if (codec::common_length(&data[earlier], &data[position], limit) >= length)
      return position - earlier;
  }
  return 0;
}

void check_finder(const bytes& data, const std::string& label) {
  codec::match_finder finder(data, k_nice, k_depth);
  codec::match_candidates found(k_depth);
  for (std::uint32_t p = 0; p < data.size(); ++p) {
    finder.find(p, found);
    const std::string at = label + " at " + std::to_string(p);
    const std::uint32_t limit =
        std::min<std::uint32_t>(k_nice, static_cast<std::uint32_t>(data.size()) - p);
    std::uint32_t longest = 1;
    for (const auto* list : {&found.nearest, &found.farther}) {
      const bool nearest = list == &found.nearest;
      const std::size_t count = nearest ? found.nearest_count : found.farther_count;
      for (std::size_t i = 0; i < count; ++i) {
        const match_candidate c = (*list)[i];
        ASSERT_TRUE(c.distance >= 1 && c.distance <= p) << at;
        ASSERT_EQ(codec::common_length(&data[p - c.distance], &data[p], limit), c.length) << at;
        ASSERT_GE(c.length, codec::min_match_count(c.distance)) << at;
        if (nearest) {
          ASSERT_GT(c.length, longest) << at;
          // The nearest distance for every length it adds.
          ASSERT_EQ(nearest_with(data, p, longest + 1), c.distance) << at;
          longest = c.length;
        }
      }
    }
    // Nothing nearer matches longer than the nearest list reaches.
    if (longest < limit) {
      EXPECT_EQ(nearest_with(data, p, std::max(longest + 1, 3U)), 0U) << at;
    }
    // The nearest two-byte match within reach is reported, unless longer.
    const std::uint32_t two = nearest_with(data, p, 2);
    if (two != 0 && two <= codec::k_long_distance) {
      ASSERT_GT(found.nearest_count, 0U) << at;
      EXPECT_EQ(found.nearest[0].distance, two) << at;
    }
  }
}

TEST(MatchFinder, FindsTheNearestMatchOfEveryLength) {
  const struct {
    const char* name;
    bytes data;
  } cases[] = {
      {"midi-like", test::midi_like_bytes(5, 6000)},
      {"repetitive", test::repetitive_bytes(6, 3000)},
      {"random", test::random_bytes(7, 3000)},
      {"short", bytes{1, 2, 1, 2, 1}},
  };
  for (const auto& c : cases)
    check_finder(c.data, c.name);
}

}  // namespace
}  // namespace mthc
