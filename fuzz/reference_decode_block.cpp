#include "reference_decode_block.hpp"

namespace mthc::fuzz {

namespace {

struct reader {
  std::span<const std::uint8_t> packed;
  std::size_t in = 0;
  std::uint32_t flag_register = 0;

  // Bit 8 of the register after a shift, or a fresh flag byte (with the
  // sentinel 1 below it) once only the sentinel is left.
  bool flag_bit(std::uint32_t& bit) noexcept {
    if ((flag_register & 0x7FU) != 0) {
      flag_register <<= 1;
    } else {
      if (in >= packed.size()) return false;
      flag_register = static_cast<std::uint32_t>(packed[in]) * 2U + 1U;
      ++in;
    }
    bit = (flag_register >> 8) & 1U;
    return true;
  }

  bool byte(std::uint32_t& value) noexcept {
    if (in >= packed.size()) return false;
    value = packed[in];
    ++in;
    return true;
  }

  bool gamma(std::uint32_t& value) noexcept {
    std::uint32_t v = 1;
    std::uint32_t more = 0;
    do {
      std::uint32_t bit = 0;
      if (!flag_bit(bit)) return false;
      v = 2U * v + bit;
      if (!flag_bit(more)) return false;
    } while (more == 0);
    value = v;
    return true;
  }
};

}  // namespace

std::size_t reference_decode_block(std::span<const std::uint8_t> packed,
                                   std::span<std::uint8_t> out) noexcept {
  if (packed.empty() || out.empty()) return 0;
  reader r{packed};
  std::size_t produced = 0;
  std::uint32_t last_distance = 1;
  for (;;) {
    std::uint32_t bit = 0;
    if (!r.flag_bit(bit)) return produced;
    if (bit == 1) {
      if (r.in >= packed.size() || produced >= out.size()) return produced;
      out[produced] = packed[r.in];
      ++produced;
      ++r.in;
      continue;
    }
    std::uint32_t v = 0;
    if (!r.gamma(v)) return produced;
    std::uint32_t distance = last_distance;
    if (v != 2) {
      std::uint32_t b = 0;
      if (!r.byte(b)) return produced;
      distance = v * 256U + b - 767U;
      if (distance == 0) return produced;
      last_distance = distance;
    }
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    if (!r.flag_bit(first) || !r.flag_bit(second)) return produced;
    std::uint32_t length = 2U * first + second;
    if (length == 0) {
      std::uint32_t w = 0;
      if (!r.gamma(w)) return produced;
      length = w + 2U;
    }
    const std::uint32_t count = distance > 0xD00U ? length + 2U : length + 1U;
    if (distance <= produced) {
      for (std::uint32_t i = 0; i < count && produced < out.size(); ++i) {
        out[produced] = out[produced - distance];
        ++produced;
      }
    }
    if (r.in >= packed.size()) return produced;
  }
}

}  // namespace mthc::fuzz
