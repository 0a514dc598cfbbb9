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

constexpr std::uint32_t length_code(std::uint32_t distance, std::uint32_t count) noexcept {
  return count - (distance > k_long_distance ? 2U : 1U);
}

constexpr std::uint32_t length_bits(std::uint32_t code) noexcept {
  return code <= 3 ? 2U : 2U + gamma_bits(code - 2);
}

constexpr std::uint32_t distance_gamma(std::uint32_t distance) noexcept {
  return ((distance - 1) >> 8) + 3;
}

// A match that writes `distance` explicitly (and makes it the new
// `last_distance`).
constexpr std::uint32_t explicit_match_bits(std::uint32_t distance, std::uint32_t count) noexcept {
  return 1 + gamma_bits(distance_gamma(distance)) + 8 + length_bits(length_code(distance, count));
}

// A match at the current `last_distance`.
constexpr std::uint32_t repeat_match_bits(std::uint32_t distance, std::uint32_t count) noexcept {
  return 1 + gamma_bits(k_repeat_code) + length_bits(length_code(distance, count));
}

static_assert(explicit_match_bits(1, 2) == 13, "near two-byte match: 1 + 2 + 8 + 2");
static_assert(repeat_match_bits(1, 2) == 5, "repeated two-byte match: 1 + 2 + 2");
static_assert(explicit_match_bits(k_long_distance, 2) < 2 * k_literal_bits,
              "every near two-byte match beats two literals");

}  // namespace mthc::codec
