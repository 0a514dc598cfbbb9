// How far two positions of a block agree: the inner loop of every match
// search in the encoder.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace mthc::codec {

// The number of leading bytes in which `a` and `b` agree, at most `limit`;
// both must have `limit` readable bytes. Compares eight bytes at a time: the
// first differing byte is the lowest set byte of the difference in memory
// order, whichever the machine's byte order.
inline std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b,
                                   std::uint32_t limit) noexcept {
  std::uint32_t n = 0;
  while (limit - n >= 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) {
      const std::uint64_t diff = x ^ y;
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                 : std::countl_zero(diff);
      return n + static_cast<std::uint32_t>(bit) / 8;
    }
    n += 8;
  }
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
}

}  // namespace mthc::codec
