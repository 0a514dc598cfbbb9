// The fast loop's place in the packed input (a cursor over flag bits and
// bytes), the windows of flag bits it reads codes from, and the conversions
// to and from the careful loop's flag register. A part of the fast loop
// (fast_loop_template.hpp).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/always_inline.hpp"
#include "codec/decode_block_internal.hpp"

namespace mthc::codec {

// Internal linkage: these parts are compiled into each variant of the loop
// in fast_loop_variants.cpp, the one file that includes them.
namespace {  // NOLINT(cert-dcl59-cpp): one translation unit's parts, as above

// ---- Flag bits and windows ----
//
// The loop's place in the input is a cursor: `in`, the next packed byte,
// with the unread bits of the current flag byte held left-aligned in `bits`,
// from bit 63 down to bit `bits_end` (zeros below them). A fresh flag byte
// fills the top eight bits, so bits_end is k_fresh_bits_end (56) plus the
// bits of the flag byte already read. Between tokens it is 56 to 63; after
// a distance code it may be 64 (no unread bit), a fresh flag byte then
// being the byte after the distance byte.

constexpr unsigned k_flag_byte_bits = 8;
// Bytes loaded for one window of flag bits, and the register that holds it.
constexpr std::size_t k_window_bytes = 8;
constexpr unsigned k_window_bits = k_window_bytes * k_flag_byte_bits;
static_assert(k_window_bits == 64);

constexpr unsigned k_fresh_bits_end = k_window_bits - k_flag_byte_bits;
// A flag byte used up: no unread bit.
constexpr unsigned k_used_up_bits_end = k_window_bits;
// The flag byte lies on a byte boundary of the register, so the bits read
// from its start on, bits_end - 56 + n after n more, count whole bytes as
// (bits_end + n) / 8 - 7 and bits within the last one as (bits_end + n) % 8.
static_assert(k_fresh_bits_end % k_flag_byte_bits == 0);
constexpr std::ptrdiff_t k_fresh_bytes_end = k_fresh_bits_end / k_flag_byte_bits;

// How many bits of a window one code may use. A window holds the unread
// bits and the eight bytes after them, the last one cut short by as many
// bits as are unread, and the byte that holds the bit after the code must be
// in it whole, because it becomes the current flag byte. Keeping the code
// and that bit to the first seven bytes after the unread bits leaves the
// code their 56 bits less one, in every case (even with no unread bit).
constexpr unsigned k_max_window_use = (k_window_bytes - 1) * k_flag_byte_bits - 1;
static_assert(k_max_window_use == 55);

// The unread bits of a flag byte of which r bits (0 to 8) are read: the top
// 8 - r bits.
constexpr std::array<std::uint64_t, k_flag_byte_bits + 1> k_unread_bits = {
    0xFF00000000000000, 0xFE00000000000000, 0xFC00000000000000,
    0xF800000000000000, 0xF000000000000000, 0xE000000000000000,
    0xC000000000000000, 0x8000000000000000, 0,
};

std::uint64_t load_be64(const std::uint8_t* p) noexcept {
  std::uint64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) return v;
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  std::uint64_t swapped = 0;
  for (int i = 0; i < 8; ++i, v >>= 8)
    swapped = (swapped << 8) | (v & 0xFF);
  return swapped;
#endif
}

// The number of leading zero bits of a word that is not zero (std::countl_zero
// also tests for zero, which the loop never passes).
MTHC_ALWAYS_INLINE unsigned leading_zeros(std::uint64_t x) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_clzll(x));
#else
  return static_cast<unsigned>(std::countl_zero(x));
#endif
}

// The loop's place in the input (see above).
struct packed_cursor {
  const std::uint8_t* in;
  std::uint64_t bits;
  unsigned bits_end;
};

MTHC_ALWAYS_INLINE void take_fresh_flag_byte(packed_cursor& c) noexcept {
  c.bits = std::uint64_t{*c.in++} << k_fresh_bits_end;
  c.bits_end = k_fresh_bits_end;
}

// The unread flag bits followed by the next packed bytes taken as flag
// bits: right for as long as no literal or distance byte is read, which
// holds within a code.
// One shift after the load, by the number of unread bits (64 - bits_end,
// taken modulo 64 so that none unread shifts by 0): the load lies on the
// path from token to token.
MTHC_ALWAYS_INLINE std::uint64_t window_at(const packed_cursor& c) noexcept {
  return c.bits | (load_be64(c.in) >> ((0U - c.bits_end) & (k_window_bits - 1)));
}

// Conversions to and from the careful loop's flag register (see
// block_state), whose low byte holds the unread bits (0 to 7: the bit that
// loads a flag byte is read at once) above a sentinel 1.
constexpr unsigned k_max_unread_in_register = k_flag_byte_bits - 1;
constexpr std::uint32_t k_register_byte = 0xFF;

std::uint32_t to_flag_register(std::uint64_t bits, unsigned unread) noexcept {
  const std::uint32_t high =
      unread == 0 ? 0U : static_cast<std::uint32_t>(bits >> (k_window_bits - unread));
  return ((high << 1) | 1U) << (k_max_unread_in_register - unread);
}

unsigned unread_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned low = flag_register & k_register_byte;
  // Only the sentinel (at bit 7), or nothing yet: no unread bit.
  if ((low & (k_register_byte >> 1)) == 0) return 0;
  return k_max_unread_in_register - static_cast<unsigned>(std::countr_zero(low));
}

std::uint64_t bits_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned unread = unread_in_flag_register(flag_register);
  if (unread == 0) return 0;
  return (std::uint64_t{flag_register & k_register_byte} >> (k_flag_byte_bits - unread))
         << (k_window_bits - unread);
}

// The cursor at the careful loop's place. A fresh flag byte is taken at
// once when none is under way: inside the loop a token always starts with
// an unread bit.
packed_cursor cursor_at(const block_state& s) noexcept {
  const unsigned unread = unread_in_flag_register(s.flag_register);
  packed_cursor c{s.in_next, bits_in_flag_register(s.flag_register), k_window_bits - unread};
  if (c.bits_end == k_used_up_bits_end) take_fresh_flag_byte(c);
  return c;
}

// Back to the careful loop's way: a fresh flag byte taken ahead is given
// back.
void leave_at(block_state& s, packed_cursor c) noexcept {
  if (c.bits_end == k_fresh_bits_end) {
    --c.in;
    c.bits_end = k_used_up_bits_end;
  }
  s.in_next = c.in;
  s.flag_register = to_flag_register(c.bits, k_window_bits - c.bits_end);
}

}  // namespace

}  // namespace mthc::codec
