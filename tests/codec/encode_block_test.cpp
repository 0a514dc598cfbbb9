// The block encoder: every level's output decodes back to its input and stops
// by itself, whatever room the decoder is given.
#include "codec/encode_block.hpp"

#include <gtest/gtest.h>

#include <string>

#include "codec/block_code.hpp"
#include "codec/decode_block.hpp"
#include "codec/match_finder.hpp"
#include "codec/optimal_parse.hpp"
#include "codec/write_block.hpp"
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
  const bytes packed = encode_block(data, level);
  EXPECT_LE(packed.size(), data.size() + data.size() / 8 + 2) << label;
  const bytes decoded = decode_roomy(packed, data.size());
  ASSERT_EQ(decoded.size(), data.size()) << label << " (" << level_name(level) << ")";
  EXPECT_TRUE(decoded == data) << label << " (" << level_name(level) << ")";
  // The exact room works as well.
  bytes exact(data.size());
  EXPECT_EQ(decode_block(packed, exact), data.size()) << label;
}

struct data_case {
  std::string name;
  bytes data;
};

std::vector<data_case> data_cases() {
  std::vector<data_case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {0x42}});
  cases.push_back({"two equal bytes", {7, 7}});
  cases.push_back({"two bytes", {1, 2}});
  cases.push_back({"three equal bytes", {9, 9, 9}});
  cases.push_back({"run of 1000", bytes(1000, 0x5A)});
  cases.push_back({"full block of zeros", bytes(k_max_block_size, 0)});
  for (const std::size_t size : {17U, 300U, 4000U, 65535U}) {
    const std::string n = std::to_string(size);
    cases.push_back({"random " + n, test::random_bytes(size, size)});
    cases.push_back({"repetitive " + n, test::repetitive_bytes(size + 1, size)});
    cases.push_back({"midi-like " + n, test::midi_like_bytes(size + 2, size)});
  }
  {
    // Far matches: a random stretch repeated 5000 bytes later (beyond the
    // 0xD00 distance where copies get one byte longer), then again at the
    // same distance, which the repeated-distance code covers.
    bytes far = test::random_bytes(11, 5000);
    const bytes piece = test::random_bytes(12, 100);
    bytes data = piece;
    data.insert(data.end(), far.begin(), far.end());
    data.insert(data.end(), piece.begin(), piece.end());
    data.insert(data.end(), far.begin(), far.begin() + 20);
    data.insert(data.end(), piece.begin(), piece.end());
    cases.push_back({"far and repeated far matches", data});
  }
  return cases;
}

TEST(EncodeBlock, RoundTripsEveryLevel) {
  for (const data_case& c : data_cases()) {
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

}  // namespace
}  // namespace mthc
