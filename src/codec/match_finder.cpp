#include "codec/match_finder.hpp"

#include <algorithm>

#include "codec/common_length.hpp"

namespace mthc::codec {

namespace {

constexpr std::size_t k_prefix_count = 1U << 16;
constexpr std::uint32_t k_prefix_length = 2;

// Inserts `position` as the new root of its prefix tree and, when `out` is
// given, records every candidate met on the way down. The old tree is split
// around the new suffix: nodes that sort below it become its smaller subtree,
// nodes above it its larger one. `smaller_link` and `larger_link` are the
// open child slots of that split; `smaller_length` and `larger_length` are how
// far the nodes on either side are known to match, so comparisons start there.
// Returns the number of candidates recorded.
template <bool collect>
std::size_t insert(match_finder& f, std::uint32_t position, match_candidate* out) {
  const std::uint8_t* const data = f.data.data();
  const auto available = static_cast<std::uint32_t>(f.data.size()) - position;
  if (available < k_prefix_length) return 0;
  const std::uint32_t limit = std::min(available, f.nice_length);
  const std::uint8_t* const current = data + position;

  const std::size_t prefix = static_cast<std::size_t>(current[0]) << 8 | current[1];
  std::int32_t candidate = f.heads[prefix];
  f.heads[prefix] = static_cast<std::int32_t>(position);

  std::int32_t* smaller_link = &f.nodes[2 * static_cast<std::size_t>(position)];
  std::int32_t* larger_link = smaller_link + 1;
  std::uint32_t smaller_length = k_prefix_length;
  std::uint32_t larger_length = k_prefix_length;
  std::uint32_t best = k_prefix_length - 1;
  std::size_t found = 0;

  for (std::uint32_t depth = f.max_depth;; --depth) {
    if (candidate < 0 || depth == 0) {
      *smaller_link = -1;
      *larger_link = -1;
      return found;
    }
    const auto at = static_cast<std::uint32_t>(candidate);
    const std::uint8_t* const earlier = data + at;
    std::int32_t* const children = &f.nodes[2 * static_cast<std::size_t>(at)];
    std::uint32_t length = std::min(smaller_length, larger_length);
    length += common_length(earlier + length, current + length, limit - length);
    if (collect) {
      out[found++] = {position - at, length, length > best};
      best = std::max(best, length);
    }
    if (length == limit) {
      // As long as the search can see: the old node takes our place, and its
      // subtrees become ours.
      *smaller_link = children[0];
      *larger_link = children[1];
      return found;
    }
    if (earlier[length] < current[length]) {
      *smaller_link = candidate;
      smaller_link = children + 1;
      candidate = *smaller_link;
      smaller_length = length;
    } else {
      *larger_link = candidate;
      larger_link = children;
      candidate = *larger_link;
      larger_length = length;
    }
  }
}

}  // namespace

match_finder::match_finder(std::span<const std::uint8_t> block, std::uint32_t nice,
                           std::uint32_t depth)
    : data(block),
      nice_length(std::max(nice, k_prefix_length)),
      max_depth(depth),
      heads(k_prefix_count, -1),
      nodes(2 * block.size(), -1) {}

std::size_t match_finder::find(std::uint32_t position, match_candidate* out) {
  return insert<true>(*this, position, out);
}

void match_finder::skip(std::uint32_t position) {
  insert<false>(*this, position, nullptr);
}

}  // namespace mthc::codec
