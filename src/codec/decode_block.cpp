#include "codec/decode_block.hpp"

namespace mthc {

namespace {

// Distances beyond this copy one byte more for the same length code: short
// matches that far back would not pay for their distance bits.
constexpr std::uint32_t k_long_distance = 0xD00;

// The whole working state of one block. Reading a flag bit and reading a
// packed byte are the only two places that look at the end of the input;
// every stop of the decoder follows from them.
struct block_state {
  const std::uint8_t* in_next;
  const std::uint8_t* in_end;
  std::uint8_t* out_begin;
  std::uint8_t* out_next;
  std::uint8_t* out_end;
  // The current flag byte shifted left once per bit read, with a sentinel 1
  // below its remaining bits: when only the sentinel is left (low seven bits
  // clear), the next read loads a fresh flag byte.
  std::uint32_t flag_register = 0;
  std::uint32_t last_distance = 1;

  // Returns false when a flag byte is needed and the input is exhausted.
  bool read_flag_bit(std::uint32_t& bit) noexcept {
    if ((flag_register & 0x7F) != 0) {
      flag_register <<= 1;
    } else {
      if (in_next == in_end) return false;
      flag_register = (static_cast<std::uint32_t>(*in_next++) << 1) | 1U;
    }
    bit = (flag_register >> 8) & 1U;
    return true;
  }

  // Gamma code: v starts at 1; each step adds a data bit below v, and a
  // continue bit of 1 ends the value. Arithmetic wraps at 32 bits.
  bool read_gamma(std::uint32_t& value) noexcept {
    std::uint32_t v = 1;
    for (;;) {
      std::uint32_t bit = 0;
      if (!read_flag_bit(bit)) return false;
      v = v * 2 + bit;
      if (!read_flag_bit(bit)) return false;
      if (bit != 0) break;
    }
    value = v;
    return true;
  }
};

}  // namespace

std::size_t decode_block(std::span<const std::uint8_t> packed,
                         std::span<std::uint8_t> out) noexcept {
  if (packed.empty() || out.empty()) return 0;

  block_state s{packed.data(), packed.data() + packed.size(), out.data(), out.data(),
                out.data() + out.size()};
  for (;;) {
    std::uint32_t bit = 0;
    if (!s.read_flag_bit(bit)) break;

    if (bit != 0) {  // literal
      if (s.in_next == s.in_end || s.out_next == s.out_end) break;
      *s.out_next++ = *s.in_next++;
      // The input may be exhausted now, yet the rest of the current flag
      // byte can still describe a match that needs no packed byte.
      continue;
    }

    // Match: a gamma value selects the repeated distance (2) or the high
    // part of a new distance whose low byte follows.
    std::uint32_t v = 0;
    if (!s.read_gamma(v)) break;
    std::uint32_t distance = s.last_distance;
    if (v != 2) {
      if (s.in_next == s.in_end) break;
      distance = v * 256U + *s.in_next++ - 767U;
      if (distance == 0) break;  // end marker
      s.last_distance = distance;
    }

    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!s.read_flag_bit(high) || !s.read_flag_bit(low)) break;
    std::uint32_t length = high * 2 + low;
    if (length == 0) {
      std::uint32_t w = 0;
      if (!s.read_gamma(w)) break;
      length = w + 2;
    }
    const std::uint32_t count = length + (distance > k_long_distance ? 2U : 1U);

    const auto produced = static_cast<std::size_t>(s.out_next - s.out_begin);
    if (distance <= produced) {
      // Byte by byte, forwards: source and destination overlap whenever the
      // distance is below the count, and that repeats a pattern.
      const std::uint8_t* from = s.out_next - distance;
      const auto room = static_cast<std::size_t>(s.out_end - s.out_next);
      const std::size_t n = count < room ? count : room;
      for (std::size_t i = 0; i < n; ++i)
        s.out_next[i] = from[i];
      s.out_next += n;
    }
    if (s.in_next == s.in_end) break;
  }
  return static_cast<std::size_t>(s.out_next - s.out_begin);
}

}  // namespace mthc
