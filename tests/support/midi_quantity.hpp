// Writing a MIDI file's variable-length quantity (delta times, SysEx and meta
// lengths): 7 bits a byte, most significant group first, the top bit set on
// every byte but the last. Header-only, for the test data, the benchmarks'
// inputs and the build's example tune alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mthc::test {

inline void put_quantity(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::array<std::uint8_t, 5> groups{};
  std::size_t n = 0;
  do {
    groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (n > 1)
    out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

}  // namespace mthc::test
