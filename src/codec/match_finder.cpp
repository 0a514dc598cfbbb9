#include "codec/match_finder.hpp"

#include <algorithm>

#include "codec/common_length.hpp"

namespace mthc::codec {

namespace {

constexpr std::size_t k_prefix_count = 1U << 16;
constexpr std::uint32_t k_prefix_length = 2;
using node_index = match_finder::node_index;
constexpr node_index k_no_node = match_finder::k_no_node;

// Inserts `position` as the new root of its prefix tree and, when `out` is
// given, records every candidate met on the way down. The old tree is split
// around the new suffix: nodes that sort below it become its smaller subtree,
// nodes above it its larger one. `smaller_link` and `larger_link` are the
// open child slots of that split; `smaller_length` and `larger_length` are how
// far the nodes on either side are known to match, so comparisons start there.
template <bool collect>
void insert(match_finder& f, std::uint32_t position, match_candidates* out) {
  const std::uint8_t* const data = f.data.data();
  const auto available = static_cast<std::uint32_t>(f.data.size()) - position;
  if (available < k_prefix_length) return;
  const std::uint32_t limit = std::min(available, f.nice_length);
  const std::uint8_t* const current = data + position;

  const std::size_t prefix = static_cast<std::size_t>(current[0]) << 8 | current[1];
  std::uint32_t candidate = f.heads[prefix];
  f.heads[prefix] = static_cast<node_index>(position);

  node_index* const nodes = f.nodes.data();
  node_index* smaller_link = &nodes[2 * static_cast<std::size_t>(position)];
  node_index* larger_link = smaller_link + 1;
  std::uint32_t smaller_length = k_prefix_length;
  std::uint32_t larger_length = k_prefix_length;
  std::uint32_t best = k_prefix_length - 1;
  // Where the next candidate of each list goes: in registers, not in `out`.
  match_candidate* nearest_next = collect ? out->nearest.data() : nullptr;
  match_candidate* farther_next = collect ? out->farther.data() : nullptr;

  for (std::uint32_t depth = f.max_depth;; --depth) {
    if (candidate == k_no_node || depth == 0) {
      *smaller_link = k_no_node;
      *larger_link = k_no_node;
      break;
    }
    const std::uint8_t* const earlier = data + candidate;
    node_index* const children = &nodes[2 * static_cast<std::size_t>(candidate)];
    std::uint32_t length = std::min(smaller_length, larger_length);
    length += common_length(earlier + length, current + length, limit - length);
    if (collect) {
      // Written to both lists, kept in one: the choice is as good as random,
      // and a branch on it would be mispredicted half the time.
      const match_candidate found{position - candidate, length};
      const bool is_nearest = length > best;
      *nearest_next = found;
      *farther_next = found;
      nearest_next += is_nearest;
      farther_next += !is_nearest;
      best = std::max(best, length);
    }
    if (length == limit) {
      // As long as the search can see: the old node takes our place, and its
      // subtrees become ours.
      *smaller_link = children[0];
      *larger_link = children[1];
      break;
    }
    if (earlier[length] < current[length]) {
      *smaller_link = static_cast<node_index>(candidate);
      smaller_link = children + 1;
      candidate = *smaller_link;
      smaller_length = length;
    } else {
      *larger_link = static_cast<node_index>(candidate);
      larger_link = children;
      candidate = *larger_link;
      larger_length = length;
    }
  }
  if (collect) {
    out->nearest_count = static_cast<std::size_t>(nearest_next - out->nearest.data());
    out->farther_count = static_cast<std::size_t>(farther_next - out->farther.data());
  }
}

}  // namespace

match_finder::match_finder(std::span<const std::uint8_t> block, std::uint32_t nice,
                           std::uint32_t depth)
    : data(block),
      nice_length(std::max(nice, k_prefix_length)),
      max_depth(depth),
      heads(k_prefix_count, k_no_node),
      nodes(2 * block.size(), k_no_node) {}

void match_finder::find(std::uint32_t position, match_candidates& out) {
  out.nearest_count = 0;
  out.farther_count = 0;
  insert<true>(*this, position, &out);
}

void match_finder::skip(std::uint32_t position) {
  insert<false>(*this, position, nullptr);
}

}  // namespace mthc::codec
