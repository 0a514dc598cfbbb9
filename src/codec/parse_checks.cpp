#include "codec/parse_checks.hpp"

#include <cstring>

#include "codec/block_code.hpp"

namespace mthc::codec {

bool parse_covers(std::span<const std::uint8_t> data, const lz_parse& parse) noexcept {
  const std::size_t size = data.size();
  std::size_t position = 0;
  for (const lz_step& step : parse) {
    if (step.count > size - position) return false;
    if (step.distance != 0) {
      if (step.distance > position || step.count < min_match_count(step.distance)) return false;
      // The copy reads what it has just written where it overlaps itself:
      // byte i stands for the byte `distance` before it, which is what this
      // compares, overlapping or not.
      const std::uint8_t* const at = data.data() + position;
      if (std::memcmp(at, at - step.distance, step.count) != 0) return false;
    }
    position += step.count;
  }
  return position == size;
}

}  // namespace mthc::codec
