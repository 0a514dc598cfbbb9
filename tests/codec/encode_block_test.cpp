// The block encoder: every level's output decodes back to its input and stops
// by itself, whatever room the decoder is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <optional>
#include <string>

#include "block_shapes.hpp"
#include "codec/block_code.hpp"
#include "codec/common_length.hpp"
#include "codec/fast_parse.hpp"
#include "codec/match_finder.hpp"
#include "codec/optimal_parse.hpp"
#include "codec/write_block.hpp"
#include "encoder_data.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

using bytes = std::vector<std::uint8_t>;

constexpr encode_level k_levels[] = {encode_level::fast, encode_level::best};

const char* level_name(encode_level level) {
  return level == encode_level::fast ? "fast" : "best";
}

// Decodes with far more room than the block needs, and a canary after it.
bytes decode_roomy(const bytes& packed, std::size_t expected_size) {
  const std::size_t room = expected_size + 4096;
  bytes out(room + 16, 0xEE);
  const std::size_t n = decode_block(packed, std::span(out.data(), room));
  for (std::size_t i = room; i < out.size(); ++i)
    EXPECT_EQ(out[i], 0xEE) << "write past the room";
  out.resize(n);
  return out;
}

void expect_round_trip(const bytes& data, encode_level level, const std::string& label) {
  const encode_result encoded = encode_block(data, level);
  ASSERT_EQ(encoded.error, encode_error::none) << label;
  const bytes& packed = encoded.packed;
  EXPECT_LE(packed.size(), encoded_block_bound(data.size())) << label;
  const bytes decoded = decode_roomy(packed, data.size());
  ASSERT_EQ(decoded.size(), data.size()) << label << " (" << level_name(level) << ")";
  EXPECT_TRUE(decoded == data) << label << " (" << level_name(level) << ")";
  // The exact room works as well.
  bytes exact(data.size());
  EXPECT_EQ(decode_block(packed, exact), data.size()) << label;
}

// The best level's parse, which must pass its own checks on all this data.
codec::lz_parse best_parse(const bytes& data) {
  std::optional<codec::lz_parse> parse = codec::optimal_parse(data, {});
  EXPECT_TRUE(parse.has_value()) << data.size() << " bytes";
  return parse.value_or(codec::lz_parse{});
}

TEST(EncodeBlock, RefusesMoreThanABlock) {
  for (const encode_level level : {encode_level::fast, encode_level::best}) {
    const encode_result r = encode_block(bytes(k_max_block_size + 1, 0), level);
    EXPECT_EQ(r.error, encode_error::too_large);
    EXPECT_TRUE(r.packed.empty());
  }
}

TEST(EncodeBlock, RoundTripsEveryLevel) {
  for (const test::labelled_data& c : test::block_edge_cases()) {
    for (const encode_level level : k_levels)
      expect_round_trip(c.data, level, c.name);
  }
}

TEST(EncodeBlock, SweepOfSmallSizes) {
  // Every ending of the flag byte and every kind of last step occurs among
  // these: the block must still stop exactly at its end.
  for (std::size_t size = 0; size <= 80; ++size) {
    for (const std::uint64_t seed : {1U, 2U, 3U}) {
      bytes data = seed == 1   ? test::midi_like_bytes(size, size)
                   : seed == 2 ? test::repetitive_bytes(size, size)
                               : bytes(size, static_cast<std::uint8_t>(size));
      for (const encode_level level : k_levels)
        expect_round_trip(data, level, "size " + std::to_string(size));
    }
  }
}

TEST(EncodeBlock, RoundTripsShapedBlocks) {
  // Copies from any distance and near-repeats, made from short recipes: in
  // the best parse of each of the first four, the cheapest arrival at some
  // position is inside a match whose next length was not offered, so only
  // reach_next's literal reaches the next position (an assert that every
  // position had arrivals stopped at the first). Then long overlapping
  // matches, and far repeats at one distance.
  for (const std::uint64_t seed : {15U, 128U, 231U, 390U}) {
    const bytes data = test::from_recipe(test::random_bytes(seed, 30), 4000);
    for (const encode_level level : k_levels)
      expect_round_trip(data, level, "recipe " + std::to_string(seed));
  }
  const bytes pattern = test::midi_like_bytes(3, 37);
  for (const encode_level level : k_levels) {
    expect_round_trip(test::tiled(pattern, k_max_block_size), level, "tiled");
    expect_round_trip(test::far_apart(pattern, 30000), level, "far apart");
  }
}

TEST(EncodeBlock, BestParseReachesTheEndWithAOneNodeSearch) {
  // With a search of one node the previous position often lacks the
  // candidate that this one finds, and leaves lengths of it unoffered; on
  // these blocks nothing else reached the position after one of them, nor
  // any after it, and the parse failed its check at the end.
  for (const std::uint64_t seed : {13U, 15U, 16U}) {
    const bytes data = test::from_recipe(test::random_bytes(seed, 40), 30000);
    const std::optional<codec::lz_parse> parse = codec::optimal_parse(data, {211, 1});
    ASSERT_TRUE(parse.has_value()) << "seed " << seed;
    const std::optional<bytes> block = codec::write_block(data, *parse);
    ASSERT_TRUE(block.has_value()) << "seed " << seed;
    EXPECT_EQ(decode_roomy(*block, data.size()), data) << "seed " << seed;
  }
}

// The price of a parse in bits, by the codes' prices; the decoder state
// (last_distance) is followed to tell repeated from explicit distances.
struct parse_price {
  std::uint64_t bits = 0;
  std::size_t repeats = 0;  // matches written with the repeated-distance code
  std::size_t far = 0;      // matches beyond distance 0xD00
};

parse_price price_of(const codec::lz_parse& parse) {
  parse_price p;
  std::uint32_t last_distance = 1;
  for (const codec::lz_step& step : parse) {
    if (step.distance == 0) {
      p.bits += std::uint64_t{codec::k_literal_bits} * step.count;
    } else if (step.distance == last_distance) {
      p.bits += codec::repeat_match_bits(step.distance, step.count);
      ++p.repeats;
    } else {
      p.bits += codec::explicit_match_bits(step.distance, step.count);
      last_distance = step.distance;
    }
    if (step.distance > codec::k_long_distance) ++p.far;
  }
  return p;
}

TEST(EncodeBlock, PricesAreTheBlockSize) {
  // The parsers minimise prices; the block must be exactly their sum,
  // rounded up to bytes (one more byte where the ending needs padding).
  for (const test::labelled_data& c : test::block_edge_cases()) {
    for (const bool best : {false, true}) {
      const codec::lz_parse parse = best ? best_parse(c.data) : codec::fast_parse(c.data);
      const std::uint64_t bytes_by_price = (price_of(parse).bits + 7) / 8;
      const std::optional<bytes> block = codec::write_block(c.data, parse);
      ASSERT_TRUE(block.has_value()) << c.name;
      const std::size_t size = block->size();
      EXPECT_GE(size, bytes_by_price) << c.name;
      EXPECT_LE(size, bytes_by_price + 1) << c.name;
    }
  }
}

TEST(EncodeBlock, OptimalParseBeatsGreedyAndUsesTheState) {
  for (const test::labelled_data& c : test::block_edge_cases()) {
    const parse_price best = price_of(best_parse(c.data));
    EXPECT_LE(best.bits, price_of(codec::fast_parse(c.data)).bits) << c.name;
    EXPECT_LE(best.bits, std::uint64_t{codec::k_literal_bits} * c.data.size()) << c.name;
  }
  // MIDI data is full of short repeats at the distance just used.
  const bytes midi = test::midi_like_bytes(77, 20000);
  EXPECT_GT(price_of(best_parse(midi)).repeats, 100U);
  // Far copies, and far repeats, in the crafted case.
  const test::labelled_data far = test::block_edge_cases().back();
  const parse_price p = price_of(best_parse(far.data));
  EXPECT_GE(p.far, 2U) << far.name;
  EXPECT_GE(p.repeats, 1U) << far.name;
}

// The cheapest price of `data` over every parse: each literal, and every
// length of every match at every distance, from every repeated distance.
std::uint64_t exact_optimum(const bytes& data) {
  const std::size_t n = data.size();
  constexpr std::uint64_t none = ~std::uint64_t{0} / 2;
  // cost[p][d]: the cheapest way to position p that leaves last_distance d.
  std::vector<std::vector<std::uint64_t>> cost(n + 1, std::vector<std::uint64_t>(n + 1, none));
  cost[0][1] = 0;
  for (std::size_t p = 0; p < n; ++p) {
    const std::uint64_t cheapest = *std::min_element(cost[p].begin(), cost[p].end());
    for (std::size_t d = 1; d <= n; ++d) {
      if (cost[p][d] != none)
        cost[p + 1][d] = std::min(cost[p + 1][d], cost[p][d] + codec::k_literal_bits);
      if (d > p) continue;
      const auto distance = static_cast<std::uint32_t>(d);
      for (std::uint32_t count = 1;
           p + count <= n && data[p + count - 1] == data[p + count - 1 - d]; ++count) {
        if (count < codec::min_match_count(distance)) continue;
        std::uint64_t& to = cost[p + count][d];
        to = std::min(to, cheapest + codec::explicit_match_bits(distance, count));
        if (cost[p][d] != none)
          to = std::min(to, cost[p][d] + codec::repeat_match_bits(distance, count));
      }
    }
  }
  return *std::min_element(cost[n].begin(), cost[n].end());
}

TEST(EncodeBlock, OptimalParseIsNearTheExactOptimumOnShortBlocks) {
  // The parse drops offers it reasons cannot pay; reasoning that failed would
  // show as a dearer parse. On these blocks it is 0.28% over the optimum;
  // offering a match's full length only to beat the cheapest arrival, say,
  // makes that 0.65%.
  std::uint64_t parsed = 0;
  std::uint64_t optimum = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const bytes data =
        seed % 3 == 0 ? test::repetitive_bytes(seed, 300) : test::midi_like_bytes(seed, 300);
    const std::uint64_t ours = price_of(best_parse(data)).bits;
    const std::uint64_t best = exact_optimum(data);
    EXPECT_GE(ours, best) << "seed " << seed;  // or the optimum is not one
    parsed += ours;
    optimum += best;
  }
  EXPECT_LE(parsed * 1000, optimum * 1004) << parsed << " bits against " << optimum;
}

TEST(EncodeBlock, CommonLengthStopsAtTheFirstDifferenceAndTheLimit) {
  // Eight bytes at a time, then one at a time: every difference and limit
  // around those steps, in buffers exactly `limit` long (the sanitizers
  // catch a read past them).
  for (std::uint32_t limit = 0; limit <= 20; ++limit) {
    for (std::uint32_t differ = 0; differ <= limit; ++differ) {
      bytes a(limit, 0x5A);
      bytes b(limit, 0x5A);
      if (differ < limit) b[differ] = 0xA5;
      EXPECT_EQ(codec::common_length(a.data(), b.data(), limit), differ)
          << "limit " << limit << ", first difference " << differ;
    }
  }
}

TEST(EncodeBlock, MatchWithoutBytesAfterAMatchIsPadded) {
  // Six literals leave two bits of the first flag byte: the explicit match
  // (distance 2, count 2) starts there and ends in a second flag byte,
  // before its distance byte; the repeated-distance match after it fits in
  // the rest of that flag byte and adds no byte. After the first match the
  // packed bytes would be used up and the decoder would stop.
  const bytes data = {'a', 'b', 'c', 'd', 'e', 'f', 'e', 'f', 'e', 'f'};
  const codec::lz_parse parse = {{0, 6}, {2, 2}, {2, 2}};
  const bytes packed = codec::write_block(data, parse).value_or(bytes{});
  EXPECT_EQ(decode_roomy(packed, data.size()), data);
  // Without the padding byte the last match is lost.
  const bytes unpadded(packed.begin(), packed.end() - 1);
  EXPECT_EQ(decode_roomy(unpadded, data.size()).size(), 8U);
}

}  // namespace
}  // namespace mthc
