#include "reference_decoder.hpp"

namespace mthc::test {

namespace {

constexpr std::uint32_t k_long_distance = 0xD00;

struct reader {
  const std::uint8_t* in_next;
  const std::uint8_t* in_end;
  std::uint32_t flag_register = 0;
  std::uint32_t last_distance = 1;

  // False when a flag byte is needed and there is none.
  bool flag_bit(std::uint32_t& bit) noexcept {
    if ((flag_register & 0x7F) != 0) {
      flag_register <<= 1;
    } else {
      if (in_next == in_end) return false;
      flag_register = (static_cast<std::uint32_t>(*in_next++) << 1) | 1U;
    }
    bit = (flag_register >> 8) & 1U;
    return true;
  }

  bool gamma(std::uint32_t& value) noexcept {
    std::uint32_t v = 1;
    for (;;) {
      std::uint32_t bit = 0;
      if (!flag_bit(bit)) return false;
      v = v * 2 + bit;
      if (!flag_bit(bit)) return false;
      if (bit != 0) break;
    }
    value = v;
    return true;
  }
};

}  // namespace

std::size_t reference_decode_block(std::span<const std::uint8_t> packed,
                                   std::span<std::uint8_t> out) noexcept {
  if (packed.empty() || out.empty()) return 0;
  reader r{packed.data(), packed.data() + packed.size()};
  std::size_t produced = 0;
  const std::size_t room = out.size();
  for (;;) {
    std::uint32_t bit = 0;
    if (!r.flag_bit(bit)) break;
    if (bit != 0) {
      if (r.in_next == r.in_end || produced == room) break;
      out[produced++] = *r.in_next++;
      continue;  // even with the input exhausted
    }
    std::uint32_t v = 0;
    if (!r.gamma(v)) break;
    std::uint32_t distance = r.last_distance;
    if (v != 2) {
      if (r.in_next == r.in_end) break;
      distance = v * 256U + *r.in_next++ - 767U;
      if (distance == 0) break;
      r.last_distance = distance;
    }
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!r.flag_bit(high) || !r.flag_bit(low)) break;
    std::uint32_t length = high * 2 + low;
    if (length == 0) {
      std::uint32_t w = 0;
      if (!r.gamma(w)) break;
      length = w + 2;
    }
    const std::uint32_t count = length + (distance > k_long_distance ? 2U : 1U);
    if (distance <= produced) {
      for (std::uint32_t i = 0; i < count && produced < room; ++i) {
        out[produced] = out[produced - distance];
        ++produced;
      }
    }
    if (r.in_next == r.in_end) break;  // after a match, an exhausted input ends the block
  }
  return produced;
}

}  // namespace mthc::test
