// The best level's parse: the cheapest path through the block, priced in the
// exact bits of every code, with the repeated distance as part of the state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "codec/lz_step.hpp"

namespace mthc::codec {

struct optimal_parse_settings {
  // Matches at least this long are taken at once (and extended as far as
  // they go) instead of being weighed against every shorter alternative:
  // long repeats would otherwise cost time quadratic in their length.
  std::uint32_t nice_length = 192;
  // Match finder nodes visited per position.
  std::uint32_t max_depth = 64;
};

// Forward dynamic programming over the positions of `data`. Each position
// keeps its few cheapest arrivals with distinct `last_distance` values, since
// the same position reached with a different repeated distance has different
// futures: a repeated-distance match costs 5 bits where an explicit one costs
// at least 13. From each arrival the parse tries a literal and every length of
// the match at that arrival's repeated distance; from the cheapest arrival it
// tries every length of every candidate of the match finder. Offers that
// cannot lead to a cheaper path are dropped unmade: those dominated by the
// cheapest arrival (parse_table.hpp), and those that the previous position
// already made one byte longer (optimal_parse.cpp). The result is the
// cheapest path found, by backtracking from the end. None when one of the
// checks kept in every build (parse_checks.hpp, cheapest_path) finds the
// arrivals or the finder's candidates broken: a bug, which would otherwise
// read outside the block. Throws std::bad_alloc.
std::optional<lz_parse> optimal_parse(std::span<const std::uint8_t> data,
                                      const optimal_parse_settings& settings);

}  // namespace mthc::codec
