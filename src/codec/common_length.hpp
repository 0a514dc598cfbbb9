// How far two positions of a block agree: the inner loop of every match
// search in the encoder.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace mthc::codec {

// The index of the first differing byte of two words read from memory:
// the lowest set byte of their difference in memory order, whichever the
// machine's byte order.
inline std::uint32_t first_difference(std::uint64_t diff) noexcept {
  const int bit =
      std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
  return static_cast<std::uint32_t>(bit) / 8;
}

// The number of leading bytes in which `a` and `b` agree, at most `limit`;
// both must have `limit` readable bytes. Compares eight bytes at a time. The
// first eight come before the loop: most calls end there, without the loop's
// setup (a tenth of the best level's match finder).
inline std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b,
                                   std::uint32_t limit) noexcept {
  std::uint64_t x;
  std::uint64_t y;
  std::uint32_t n = 0;
  if (limit >= 8) {
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return first_difference(x ^ y);
    n = 8;
    while (limit - n >= 8) {
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + first_difference(x ^ y);
      n += 8;
    }
  }
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
}

// Whether `a` and `b` agree in their first two bytes, the shortest match a
// code can express: one comparison. Both must have two readable bytes.
inline bool same_first_two(const std::uint8_t* a, const std::uint8_t* b) noexcept {
  std::uint16_t x;
  std::uint16_t y;
  std::memcpy(&x, a, 2);
  std::memcpy(&y, b, 2);
  return x == y;
}

}  // namespace mthc::codec
