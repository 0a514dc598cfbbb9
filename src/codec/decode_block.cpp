#include <mthc/decode_block.hpp>

#include "codec/decode_block_internal.hpp"

namespace mthc {

namespace codec {

namespace {

// Reading a flag bit and reading a packed byte are the only two places of
// the careful loop that look at the end of the input; every stop of the
// decoder follows from them.

// Returns false when a flag byte is needed and the input is exhausted.
bool read_flag_bit(block_state& s, std::uint32_t& bit) noexcept {
  if ((s.flag_register & 0x7F) != 0) {
    s.flag_register <<= 1;
  } else {
    if (s.in_next == s.in_end) return false;
    s.flag_register = (static_cast<std::uint32_t>(*s.in_next++) << 1) | 1U;
  }
  bit = (s.flag_register >> 8) & 1U;
  return true;
}

}  // namespace

// Gamma code: v starts at 1; each step adds a data bit below v, and a
// continue bit of 1 ends the value. Arithmetic wraps at 32 bits.
bool read_gamma(block_state& s, std::uint32_t& value) noexcept {
  std::uint32_t v = 1;
  for (;;) {
    std::uint32_t bit = 0;
    if (!read_flag_bit(s, bit)) return false;
    v = v * 2 + bit;
    if (!read_flag_bit(s, bit)) return false;
    if (bit != 0) break;
  }
  value = v;
  return true;
}

bool careful_step(block_state& s) noexcept {
  std::uint32_t bit = 0;
  if (!read_flag_bit(s, bit)) return false;

  if (bit != 0) {  // literal
    if (s.in_next == s.in_end || s.out_next == s.out_end) return false;
    *s.out_next++ = *s.in_next++;
    // The input may be exhausted now, yet the rest of the current flag
    // byte can still describe a match that needs no packed byte.
    return true;
  }

  // Match: a gamma value selects the repeated distance (2) or the high
  // part of a new distance whose low byte follows.
  std::uint32_t v = 0;
  if (!read_gamma(s, v)) return false;
  std::uint32_t distance = s.last_distance;
  if (v != 2) {
    if (s.in_next == s.in_end) return false;
    distance = v * 256U + *s.in_next++ - 767U;
    if (distance == 0) return false;  // end marker
    s.last_distance = distance;
  }

  std::uint32_t high = 0;
  std::uint32_t low = 0;
  if (!read_flag_bit(s, high) || !read_flag_bit(s, low)) return false;
  std::uint32_t length = high * 2 + low;
  if (length == 0) {
    std::uint32_t w = 0;
    if (!read_gamma(s, w)) return false;
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
  return s.in_next != s.in_end;
}

namespace {

// The two loops over one block. The fast loop returns at a token it leaves
// to the careful loop; after that one token it gets the next chance, so a
// rare code in the middle of a block costs one careful token, and near the
// ends of the input or the room the fast loop declines at once.
template <typename fast_loop>
std::size_t decode_with(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out,
                        fast_loop run_fast) noexcept {
  if (packed.empty() || out.empty()) return 0;
  block_state s{packed.data(), packed.data() + packed.size(), out.data(), out.data(),
                out.data() + out.size()};
  for (;;) {
    if (run_fast(s) == fast_loop_exit::stopped) break;
    if (!careful_step(s)) break;
  }
  return static_cast<std::size_t>(s.out_next - s.out_begin);
}

}  // namespace

std::size_t decode_block_with(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out,
                              fast_loop_variant variant) noexcept {
  return decode_with(packed, out,
                     [variant](block_state& s) { return run_fast_loop_variant(s, variant); });
}

}  // namespace codec

std::size_t decode_block(std::span<const std::uint8_t> packed,
                         std::span<std::uint8_t> out) noexcept {
  return codec::decode_with(packed, out,
                            [](codec::block_state& s) { return codec::run_fast_loop(s); });
}

}  // namespace mthc
