// A test-side writer for the block bit stream, so crafted streams can be
// built field by field: flag bits, gamma codes, literals, matches and the end
// marker. Flag bytes are reserved in the byte sequence at the moment their
// first bit is written, which is where the decoder will look for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mthc::test {

struct bit_writer {
  std::vector<std::uint8_t> bytes;
  std::size_t flag_position = 0;
  int flag_bits_left = 0;
  std::uint32_t last_distance = 1;

  void flag(unsigned bit);
  void byte(std::uint8_t value) { bytes.push_back(value); }
  // A gamma value (>= 2): its bits below the leading 1, each followed by a
  // continue bit (0 = more follows, 1 = last).
  void gamma(std::uint32_t value);

  void literal(std::uint8_t value);
  void literals(std::span<const std::uint8_t> values);
  // A match of `count` bytes, `distance` back; uses the repeated-distance code
  // when the distance equals the previous explicit one. count must be at least
  // 2 (3 beyond distance 0xD00).
  void match(std::uint32_t distance, std::uint32_t count);
  void end_marker();
};

// A block that stores `data` as literals only.
std::vector<std::uint8_t> literal_block(std::span<const std::uint8_t> data);

}  // namespace mthc::test
