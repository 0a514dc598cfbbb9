// What the codes of a match mean when the fast loop reads them from a
// window, and how the cursor moves past their bits: gamma codes gathered
// from a window, and tables for the short codes. A part of the fast loop
// (fast_loop_template.hpp).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/always_inline.hpp"
#include "codec/decode_block_internal.hpp"
#include "codec/fast_loop_copies.hpp"
#include "codec/fast_loop_cursor.hpp"
#include "codec/fast_loop_margins.hpp"

namespace mthc::codec {

// Internal linkage: these parts are compiled into each variant of the loop
// in fast_loop_variants.cpp, the one file that includes them.
namespace {  // NOLINT(cert-dcl59-cpp): one translation unit's parts, as above

// ---- Gamma codes ----

// Continue bits of a gamma code read from a window shifted so that the code
// starts at bit 63 sit at bits 62, 60, ... A code that ends at bit p has used
// 64 - p bits of it; together with the `bits_before` bits ahead of the code
// (the match flag; or the two length bits) it must stay within
// k_max_window_use, so lower positions are masked off. That leaves codes of
// up to 26 steps: all distances of a block and lengths up to 2^26.
constexpr std::uint64_t continue_bits(unsigned bits_before) {
  return 0x5555555555555555 &
         (~std::uint64_t{0} << (bits_before + k_window_bits - k_max_window_use));
}
constexpr unsigned k_match_flag_bits = 1;
constexpr unsigned k_length_bits = 2;
constexpr std::uint64_t k_distance_code_stops = continue_bits(k_match_flag_bits);
constexpr std::uint64_t k_length_code_stops = continue_bits(k_length_bits);
static_assert(k_distance_code_stops == 0x5555555555555400);
static_assert(k_length_code_stops == 0x5555555555555000);

// The value of the gamma code that starts at bit 63 of `code` and is `bits`
// long (2 to 54, even): a leading 1 followed by its data bits, which sit at
// every second position, gathered by halving the gaps between them. (PEXT
// gathers them in one instruction, but codes this long are few: measured,
// a variant with it was no faster than without.)
MTHC_ALWAYS_INLINE std::uint32_t gamma_value(std::uint64_t code, unsigned bits) noexcept {
  std::uint64_t x = (code >> (k_window_bits - bits) >> 1) & 0x5555555555555555;
  x = (x | (x >> 1)) & 0x3333333333333333;
  x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0F;
  x = (x | (x >> 4)) & 0x00FF00FF00FF00FF;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFF;
  x = (x | (x >> 16)) & 0x00000000FFFFFFFF;
  return static_cast<std::uint32_t>(x | (std::uint64_t{1} << (bits / 2)));
}

// The distance of a gamma value v other than 2 and the low byte b that
// follows it: (v - 3) x 256 + b + 1, wrapping at 32 bits as in the careful
// loop. 0 is the end marker.
constexpr std::uint32_t new_distance(std::uint32_t v, std::uint32_t low_byte) {
  return v * 256U + low_byte - 767U;
}
// What a match's distance adds to its length code L: 1, or 2 beyond
// k_long_distance.
MTHC_ALWAYS_INLINE std::uint32_t count_extra_of(std::size_t distance) noexcept {
  return distance > k_long_distance ? 2U : 1U;
}
constexpr std::uint32_t k_max_count_extra = 2;

// ---- Short codes, by table ----
//
// Most codes are short: in MIDI-like data 95% of the distance codes have at
// most three steps, and 94% of the length codes are two bits, or two zero
// bits and a gamma code of at most three steps. Tables indexed by the next
// eight bits of a window give what they mean and the number of bits they use
// (0 for a longer code, gathered from the window).
constexpr unsigned k_code_index_bits = 8;
constexpr unsigned k_code_table_size = 1U << k_code_index_bits;

// An entry packs the bits used in its low byte, k_repeated for the repeated
// distance, and a value above them: at k_head_value_shift in the distance
// and head tables, at k_length_value_shift in the length table.
constexpr std::uint32_t k_used_mask = 0xFF;
constexpr std::uint32_t k_repeated = 0x100;
constexpr unsigned k_head_value_shift = 16;
constexpr unsigned k_length_value_shift = 8;

constexpr unsigned bits_used(std::uint32_t entry) noexcept {
  return entry & k_used_mask;
}

// The longest gamma code in the tables: three steps.
constexpr unsigned k_short_code_bits = 6;

// The gamma code at the top of the eight bits `bits`, if it ends within
// their first `available`: its value, and its length in `used`.
struct gamma_prefix {
  unsigned value;
  unsigned used;
};

constexpr gamma_prefix gamma_in_byte(unsigned bits, unsigned available) {
  unsigned v = 1;
  for (unsigned used = 2; used <= available; used += 2) {
    v = v * 2 + ((bits >> (k_code_index_bits - used + 1)) & 1U);
    if (((bits >> (k_code_index_bits - used)) & 1U) != 0) return {v, used};
  }
  return {0, 0};
}

// A short distance code: the repeated distance (v = 2), or the distance
// without its low byte. With at most three steps v is at most 15, so the
// distance is neither 0 (the end marker) nor above k_long_distance: the
// count is always L + 1. The bits used count the match flag.
// Indexed by the eight bits after the match flag.
constexpr std::array<std::uint32_t, k_code_table_size> make_distance_codes() {
  std::array<std::uint32_t, k_code_table_size> table{};
  for (unsigned i = 0; i < k_code_table_size; ++i) {
    const gamma_prefix code = gamma_in_byte(i, k_short_code_bits);
    if (code.used == 0) continue;
    const std::uint32_t used = k_match_flag_bits + code.used;
    table[i] = code.value == 2 ? (used | k_repeated)
                               : (used | new_distance(code.value, 0) << k_head_value_shift);
  }
  return table;
}

// A short length code: two bits L of 1 to 3, or two 0 bits and a gamma code
// w for L = w + 2.
constexpr std::array<std::uint32_t, k_code_table_size> make_length_codes() {
  std::array<std::uint32_t, k_code_table_size> table{};
  for (unsigned i = 0; i < k_code_table_size; ++i) {
    const unsigned two_bits = i >> (k_code_index_bits - k_length_bits);
    if (two_bits != 0) {
      table[i] = two_bits << k_length_value_shift | k_length_bits;
      continue;
    }
    const gamma_prefix code = gamma_in_byte((i << k_length_bits) & 0xFF, k_short_code_bits);
    if (code.used != 0)
      table[i] = (code.value + 2) << k_length_value_shift | (k_length_bits + code.used);
  }
  return table;
}

constexpr std::array<std::uint32_t, k_code_table_size> k_distance_codes = make_distance_codes();
constexpr std::array<std::uint32_t, k_code_table_size> k_length_codes = make_length_codes();
static_assert(k_distance_codes[0x40] == (3 | k_repeated));               // 01: v = 2
static_assert(k_distance_codes[0xC0] == (3 | 1 << 16));                  // 11: v = 3
static_assert(k_distance_codes[0x04] == (7 | (5 * 256 + 1) << 16));      // 000001: v = 8
static_assert(k_distance_codes[0x01] == 0);                              // four steps
static_assert((k_distance_codes[0xAC] >> 16) + 255 == k_long_distance);  // 101011: v = 15
static_assert(k_length_codes[0x40] == (1 << 8 | 2));                     // 01
static_assert(k_length_codes[0x30] == (5 << 8 | 4));                     // 00 11: w = 3
static_assert(k_length_codes[0x01] == (10 << 8 | 8));                    // 00 000001: w = 8

// The head of a match, by one lookup: indexed by the top eleven bits of a
// window that starts at the match flag (a 0, so the index is below 1024),
// what its distance code and, for the repeated distance, its length code
// mean. Most matches in MIDI-like data repeat the last distance with a short
// length code (two in three as our encoder packs it, one in three as the
// reference library does), and for them this is the whole head: its entry
// has k_repeated and L as its value. A new distance's entry is the distance
// code's (its low byte and length code follow); 0 when either code is
// longer than the table covers.
constexpr unsigned k_head_index_bits = 11;
constexpr unsigned k_head_table_size = 1U << (k_head_index_bits - k_match_flag_bits);
// The head of the repeated distance: the match flag and 01 (v = 2).
constexpr unsigned k_repeated_head_bits = 3;
constexpr std::uint64_t k_repeated_head = 0b001;
// The longest head the table covers: 0 01 00 and a length code of three
// steps; the length code's eight bits follow the repeated head.
static_assert(k_repeated_head_bits + k_length_bits + k_short_code_bits == k_head_index_bits);
static_assert(k_repeated_head_bits + k_code_index_bits == k_head_index_bits);

constexpr std::array<std::uint32_t, k_head_table_size> make_match_heads() {
  std::array<std::uint32_t, k_head_table_size> table{};
  for (unsigned i = 0; i < k_head_table_size; ++i) {
    // The ten bits after the match flag, as the top of a byte and the rest.
    const std::uint32_t distance =
        k_distance_codes[i >> (k_head_index_bits - k_match_flag_bits - k_code_index_bits)];
    if (distance == 0) continue;
    if ((distance & k_repeated) == 0) {
      table[i] = distance;
      continue;
    }
    const std::uint32_t length = k_length_codes[i & (k_code_table_size - 1)];
    if (length == 0) continue;
    table[i] = (bits_used(distance) + bits_used(length)) | k_repeated |
               (length >> k_length_value_shift) << k_head_value_shift;
  }
  return table;
}
constexpr std::array<std::uint32_t, k_head_table_size> k_match_heads = make_match_heads();
static_assert(k_match_heads[0x180] == (5 | k_repeated | 2 << 16));  // 0 01 10: L = 2
static_assert(k_match_heads[0x130] == (7 | k_repeated | 5 << 16));  // 0 01 00 11: w = 3
static_assert(k_match_heads[0x300] == (3 | 1 << 16));               // 0 11: v = 3
static_assert(k_match_heads[0x100] == 0);  // 0 01 00 then a length code of four steps

// The largest count of a short length code: L = 17 (w = 15) and, after a
// long distance, 2 more.
constexpr unsigned longest_short_length() {
  unsigned longest = 0;
  for (const std::uint32_t code : k_length_codes)
    longest = std::max(longest, code >> k_length_value_shift);
  return longest;
}
static_assert(longest_short_length() == 17);  // 00 101011: w = 15
static_assert(k_max_short_count == longest_short_length() + k_max_count_extra);
// A short match is copied in at most two chunks.
static_assert(k_max_short_count <= 2 * k_copy_chunk);

// The tables the loop reads, side by side, so that one register can
// address all of them.
// (cppcheck does not see the members read through the constant below.)
struct loop_tables {
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, k_head_table_size> match_heads;
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, k_code_table_size> length_codes;
  std::array<std::uint64_t, k_flag_byte_bits + 1> unread_bits;
};
constexpr loop_tables k_loop_tables = {k_match_heads, k_length_codes, k_unread_bits};

// ---- Using flag bits ----
//
// How the cursor moves past the bits of a code: here rather than with the
// cursor, as the unread bits of a flag byte come from the loop's tables.

// Uses the first `n` bits of `window` (taken at the cursor), n >= 1. A code
// that reaches past the current flag byte makes the byte its last bit is in
// the current one, and moves `in` past it.
//
// Before a byte is read (the distance byte), a flag byte used up stays so:
// the next flag byte comes after the distance byte.
MTHC_ALWAYS_INLINE void use_before_byte(packed_cursor& c, std::uint64_t window,
                                        unsigned n) noexcept {
  // The place of the last bit used, from the start of the current flag
  // byte: it decides the byte that becomes current, of which 1 to 8 bits
  // are then read.
  const unsigned last_bit = c.bits_end - k_fresh_bits_end + n - 1;
  c.in += last_bit / k_flag_byte_bits;
  const unsigned read = last_bit % k_flag_byte_bits + 1;
  c.bits_end = k_fresh_bits_end + read;
  c.bits = (window << n) & k_loop_tables.unread_bits[read];
}

// At the end of a token the next read is a flag bit, so a flag byte used
// up is followed by a fresh one at once (whose bits the window holds):
// `bits_end` stays 56 to 63.
MTHC_ALWAYS_INLINE void use_to_token_end(packed_cursor& c, std::uint64_t window,
                                         unsigned n) noexcept {
  const unsigned end = c.bits_end + n;
  c.in += static_cast<std::ptrdiff_t>(end / k_flag_byte_bits) - k_fresh_bytes_end;
  c.bits_end = k_fresh_bits_end + end % k_flag_byte_bits;
  // The unread bits, by two shifts rather than a mask from a table: the
  // next token's literal run waits on them, and a load would add its
  // latency to every token.
  c.bits = ((window << n) >> c.bits_end) << c.bits_end;
}

}  // namespace

}  // namespace mthc::codec
