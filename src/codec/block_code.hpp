// The prices of the block bit stream's codes, in bits, as the encoder's
// parsers see them.
//
// A block is a sequence of flag bits (packed eight to a flag byte) and whole
// bytes. A literal is flag 1 and the byte. A match is flag 0, then either the
// gamma value 2 (the repeated distance, `last_distance`) or the gamma value
// ((distance - 1) >> 8) + 3 followed by the byte (distance - 1) & 0xFF; then
// the length code L: two flag bits for L = 1..3, or 00 and the gamma value
// L - 2. The match copies L + 1 bytes, or L + 2 beyond distance 0xD00.
//
// Every flag bit and every byte lands in the packed output exactly once, so
// the size of a block is the sum of these prices rounded up to whole bytes:
// minimising the price minimises the block.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "format/format.hpp"

namespace mthc::codec {

using format::k_long_distance;
// The gamma value that selects `last_distance` instead of an explicit one.
inline constexpr std::uint32_t k_repeat_code = 2;
inline constexpr std::uint32_t k_literal_bits = 9;

// The shortest match the codes can express at `distance`: L = 1.
constexpr std::uint32_t min_match_count(std::uint32_t distance) noexcept {
  return distance > k_long_distance ? 3U : 2U;
}

// A gamma value v >= 2 takes two flag bits (data, continue) per bit below its
// leading one.
constexpr std::uint32_t gamma_bits(std::uint32_t value) noexcept {
  return 2U * (static_cast<std::uint32_t>(std::bit_width(value)) - 1U);
}

// A match's length code is its byte count less this.
constexpr std::uint32_t length_code_offset(std::uint32_t distance) noexcept {
  return distance > k_long_distance ? 2U : 1U;
}

constexpr std::uint32_t length_code(std::uint32_t distance, std::uint32_t count) noexcept {
  return count - length_code_offset(distance);
}

constexpr std::uint32_t length_bits(std::uint32_t code) noexcept {
  return code <= 3 ? 2U : 2U + gamma_bits(code - 2);
}

constexpr std::array<std::uint8_t, 256> make_length_bits() {
  std::array<std::uint8_t, 256> bits{};
  for (std::uint32_t code = 0; code < bits.size(); ++code)
    bits[code] = static_cast<std::uint8_t>(length_bits(code));
  return bits;
}

// length_bits of every code below 256, for the parsers' inner loops.
inline constexpr std::array<std::uint8_t, 256> k_length_bits = make_length_bits();

// One more byte of match length adds nothing to a match's price, or this.
inline constexpr std::uint32_t k_length_step_bits = 2;

constexpr std::array<std::uint16_t, 257> make_next_length_step() {
  std::array<std::uint16_t, 257> next{};
  next[256] = 256;
  for (std::uint32_t code = 256; code-- > 0;) {
    next[code] = static_cast<std::uint16_t>(
        length_bits(code + 1) > length_bits(code) ? code : next[code + 1]);
  }
  return next;
}

// For every length code below 256, the first code from it on after which the
// price steps up (3, 5, 9, 17, ...); 256 where none below 256 does.
inline constexpr std::array<std::uint16_t, 257> k_next_length_step = make_next_length_step();
static_assert(k_next_length_step[0] == 3 && k_next_length_step[4] == 5 &&
              k_next_length_step[6] == 9 && k_next_length_step[10] == 17 &&
              k_next_length_step[130] == 256);

constexpr bool length_steps_are_uniform() {
  for (std::uint32_t code = 0; code < 256; ++code) {
    const std::uint32_t step = length_bits(code + 1) - length_bits(code);
    if (step != 0 && step != k_length_step_bits) return false;
  }
  return true;
}
static_assert(length_steps_are_uniform(), "what the parse's length skipping relies on");

constexpr std::uint32_t distance_gamma(std::uint32_t distance) noexcept {
  return ((distance - 1) >> 8) + 3;
}

constexpr std::array<std::uint8_t, 256> make_distance_gamma_bits() {
  std::array<std::uint8_t, 256> bits{};
  for (std::uint32_t high = 0; high < bits.size(); ++high)
    bits[high] = static_cast<std::uint8_t>(gamma_bits(distance_gamma(high * 256 + 1)));
  return bits;
}

// gamma_bits(distance_gamma(d)) for every (d - 1) >> 8, for the parsers'
// inner loops.
inline constexpr std::array<std::uint8_t, 256> k_distance_gamma_bits = make_distance_gamma_bits();

// The flag bit and distance code of a match that writes `distance`
// explicitly (and makes it the new `last_distance`).
constexpr std::uint32_t explicit_distance_bits(std::uint32_t distance) noexcept {
  return 1 + k_distance_gamma_bits[(distance - 1) >> 8] + 8;
}

// The flag bit and distance code of a match at the current `last_distance`.
inline constexpr std::uint32_t k_repeat_distance_bits = 1 + gamma_bits(k_repeat_code);

constexpr std::uint32_t explicit_match_bits(std::uint32_t distance, std::uint32_t count) noexcept {
  return explicit_distance_bits(distance) + length_bits(length_code(distance, count));
}

constexpr std::uint32_t repeat_match_bits(std::uint32_t distance, std::uint32_t count) noexcept {
  return k_repeat_distance_bits + length_bits(length_code(distance, count));
}

// What the repeated-distance code saves over writing `distance` explicitly:
// the most that carrying `distance` as `last_distance` can be worth to any
// continuation, since the same steps with that one match written explicitly
// reach the same state.
constexpr std::uint32_t repeat_saving(std::uint32_t distance) noexcept {
  return explicit_distance_bits(distance) - k_repeat_distance_bits;
}

static_assert(explicit_distance_bits(256) == 11 && explicit_distance_bits(257) == 13 &&
              explicit_distance_bits(0xFFFF) == 25);
static_assert(explicit_match_bits(1, 2) == 13, "near two-byte match: 1 + 2 + 8 + 2");
static_assert(repeat_match_bits(1, 2) == 5, "repeated two-byte match: 1 + 2 + 2");
static_assert(explicit_match_bits(300, 9) - repeat_match_bits(300, 9) == repeat_saving(300));
static_assert(explicit_match_bits(k_long_distance, 2) < 2 * k_literal_bits,
              "every near two-byte match beats two literals");

}  // namespace mthc::codec
