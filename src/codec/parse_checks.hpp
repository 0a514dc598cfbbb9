// The checks that stand between a broken parse and a corrupt block, kept in
// every build. The best level's pruning rules (docs/encoder.md) are
// asserted where they are coded, which a release build compiles out; what a
// change that breaks one meets there is one of these, and encode_block's
// internal_error, instead of a read outside the block or a block that does
// not decode back: the arrivals' states here, their back links in
// cheapest_path (parse_table.hpp), and the finished parse here. They cost
// about 1% of the best level's time (docs/encoder.md has the figures).
#pragma once

#include <cstdint>
#include <span>

#include "codec/lz_step.hpp"

namespace mthc::codec {

// Whether `last_distance` can be the decoder's state at `position`: the
// first state, 1, at position 0; after that a distance within the bytes
// before the position. The best level reads the bytes at that distance
// back (and prices it from a table of 256 entries) without a further check.
constexpr bool state_in_block(std::uint32_t last_distance, std::uint32_t position) noexcept {
  return last_distance - 1 < (position == 0 ? 1U : position);
}

// Whether `parse` writes exactly `data`: its steps cover it end to end, each
// match within the bytes before it, no shorter than its code allows, and
// copying bytes equal to those it stands for. What write_block needs to
// write a block that decodes back.
bool parse_covers(std::span<const std::uint8_t> data, const lz_parse& parse) noexcept;

}  // namespace mthc::codec
