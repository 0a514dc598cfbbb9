// One step of a parse: a run of literals or a match.
#pragma once

#include <cstdint>
#include <vector>

namespace mthc::codec {

struct lz_step {
  // 0 for a run of `count` literals; otherwise the match distance. A match
  // whose distance equals the `last_distance` of the decoder at that point is
  // written with the repeated-distance code.
  std::uint32_t distance = 0;
  std::uint32_t count = 0;
};

using lz_parse = std::vector<lz_step>;

}  // namespace mthc::codec
