#include "codec/match_finder.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "codec/block_code.hpp"
#include "codec/common_length.hpp"

namespace mthc::codec {

namespace {

using node_index = match_finder::node_index;
constexpr node_index k_no_node = match_finder::k_no_node;

// Links of the chain of farther two-byte matches looked at per position: each
// one more costs about as much as it saves in output (three: 2% less time
// than four, 0.007% more output on the test data).
constexpr std::uint32_t k_gap_steps = 3;

// The first four bytes at `bytes` as a word, in memory order.
std::uint32_t word_at(const std::uint8_t* bytes) {
  std::uint32_t w;
  std::memcpy(&w, bytes, 4);
  return w;
}

// A word with the bytes of `mask` in memory order.
constexpr std::uint32_t byte_mask(std::array<std::uint8_t, 4> mask) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t shift = std::endian::native == std::endian::little ? 8 * i : 8 * (3 - i);
    word |= std::uint32_t{mask[i]} << shift;
  }
  return word;
}
constexpr std::uint32_t k_pair_bytes = byte_mask({0xFF, 0xFF, 0, 0});    // bytes 0, 1
constexpr std::uint32_t k_gap_bytes = byte_mask({0xFF, 0xFF, 0, 0xFF});  // bytes 0, 1, 3
constexpr std::uint32_t k_third_byte = byte_mask({0, 0, 0xFF, 0});

// `bits` bits of a hash of the bytes of a word.
std::size_t hash_of(std::uint32_t bytes, unsigned bits) {
  return (bytes * 2654435761U) >> (32 - bits);
}

// Whether the position `earlier` is near enough for a two-byte match and
// agrees with `word` (the current position's first four bytes) in the bytes
// of `mask` but not in the third. One of the two branch-free tests of
// two_byte_matches: a position out of reach (k_no_node too) is read as the
// current one, which agrees in every byte.
bool two_byte_match(const std::uint8_t* data, std::uint32_t position, std::uint32_t word,
                    std::uint32_t earlier, std::uint32_t mask) {
  const bool near = position - earlier <= k_long_distance;
  const std::uint32_t diff = word_at(data + (near ? earlier : position)) ^ word;
  return (diff & mask) == 0 && (diff & k_third_byte) != 0;
}

// Records the two-byte matches of `position` that can pay: the nearest one,
// unless the trees find it longer (its third byte agrees) or it is too far to
// code; and farther ones that go on after one differing byte, whose distance
// serves the repeated-distance match right after a literal (a note event that
// repeats but for its velocity, say). Other farther two-byte matches are
// dropped: most of them were nodes of every descent in trees of two-byte
// prefixes, and on the test data they buy less than they cost. The last
// three positions of a block have no word of four bytes and only the nearest
// match, looked for byte by byte.
template <bool collect>
void two_byte_matches(match_finder& f, std::uint32_t position, match_candidate*& nearest_next,
                      match_candidate*& farther_next) {
  const std::uint8_t* const data = f.data.data();
  const std::uint8_t* const current = data + position;
  const auto available = static_cast<std::uint32_t>(f.data.size()) - position;
  const std::size_t pair = std::size_t{current[0]} << 8 | current[1];
  const std::uint32_t nearest = f.pair_heads[pair];
  f.pair_heads[pair] = static_cast<node_index>(position);
  if (available < 4) {
    if (collect && position - nearest <= k_long_distance && data[nearest] == current[0] &&
        data[nearest + 1] == current[1] && (available == 2 || data[nearest + 2] != current[2]))
      *nearest_next++ = {position - nearest, 2};
    return;
  }
  const std::uint32_t word = word_at(current);
  const std::size_t gap = hash_of(word & k_gap_bytes, match_finder::k_gap_bits);
  std::uint32_t earlier = f.gap_heads[gap];
  f.gap_heads[gap] = static_cast<node_index>(position);
  f.gap_links[position & match_finder::k_gap_ring_mask] = static_cast<node_index>(earlier);
  if (!collect) return;
  *nearest_next = {position - nearest, 2};
  nearest_next += two_byte_match(data, position, word, nearest, k_pair_bytes);
  // A fixed number of steps, without branches. The chain runs from the
  // nearest position down, so once out of reach it stays there.
  for (std::uint32_t step = 0; step < k_gap_steps; ++step) {
    if (position - earlier > k_long_distance) break;
    *farther_next = {position - earlier, 2};
    farther_next +=
        two_byte_match(data, position, word, earlier, k_gap_bytes) && earlier != nearest;
    const bool near = position - earlier <= k_long_distance;
    earlier = near ? f.gap_links[earlier & match_finder::k_gap_ring_mask] : earlier;
  }
}

// Inserts `position` as the new root of its tree and, when `collect`, records
// every candidate met on the way down. The old tree is split around the new
// suffix: nodes that sort below it become its smaller subtree, nodes above it
// its larger one. `smaller_link` and `larger_link` are the open child slots of
// that split; `smaller_length` and `larger_length` are how far the nodes on
// either side are known to match, so comparisons start there. A tree holds
// every position of its three bytes and those whose hash collides with them,
// so a search starts comparing at the first byte and reports lengths from
// three on.
template <bool collect>
void insert(match_finder& f, std::uint32_t position, match_candidates* out) {
  const std::uint8_t* const data = f.data.data();
  const auto available = static_cast<std::uint32_t>(f.data.size()) - position;
  if (available < 2) return;
  const std::uint8_t* const current = data + position;
  // Where the next candidate of each list goes: in registers, not in `out`.
  match_candidate* nearest_next = collect ? out->nearest.data() : nullptr;
  match_candidate* farther_next = collect ? out->farther.data() : nullptr;
  two_byte_matches<collect>(f, position, nearest_next, farther_next);

  if (available >= 3) {
    const std::uint32_t limit = std::min(available, f.nice_length);
    const std::size_t tree = hash_of(std::uint32_t{current[0]} | std::uint32_t{current[1]} << 8 |
                                         std::uint32_t{current[2]} << 16,
                                     match_finder::k_tree_bits);
    std::uint32_t candidate = f.heads[tree];
    f.heads[tree] = static_cast<node_index>(position);

    node_index* const nodes = f.nodes.get();
    node_index* smaller_link = &nodes[2 * static_cast<std::size_t>(position)];
    node_index* larger_link = smaller_link + 1;
    std::uint32_t smaller_length = 0;
    std::uint32_t larger_length = 0;
    std::uint32_t best = 2;

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
        // Written to both lists, kept in one: the choice is as good as
        // random, and a branch on it would be mispredicted half the time.
        const match_candidate found{position - candidate, length};
        const bool is_nearest = length > best;
        *nearest_next = found;
        *farther_next = found;
        nearest_next += is_nearest;
        farther_next += !is_nearest && length >= 3;
        best = std::max(best, length);
      }
      if (length == limit) {
        // As long as the search can see: the old node takes our place, and
        // its subtrees become ours.
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
  }
  if (collect) {
    out->nearest_count = static_cast<std::size_t>(nearest_next - out->nearest.data());
    out->farther_count = static_cast<std::size_t>(farther_next - out->farther.data());
  }
}

}  // namespace

// Beside the nodes of a search, the nearest two-byte match and k_gap_steps
// farther ones.
match_candidates::match_candidates(std::uint32_t depth)
    : nearest(depth + 1), farther(depth + k_gap_steps) {}

match_finder::match_finder(std::span<const std::uint8_t> block, std::uint32_t nice,
                           std::uint32_t depth)
    : data(block),
      nice_length(std::max(nice, 3U)),
      max_depth(depth),
      tables((std::size_t{1} << k_tree_bits) + (std::size_t{1} << 16) +
                 (std::size_t{1} << k_gap_bits) + k_gap_ring_mask + 1,
             k_no_node),
      heads(tables.data()),
      pair_heads(heads + (std::size_t{1} << k_tree_bits)),
      gap_heads(pair_heads + (std::size_t{1} << 16)),
      gap_links(gap_heads + (std::size_t{1} << k_gap_bits)),
      nodes(new node_index[2 * block.size()]) {}

void match_finder::find(std::uint32_t position, match_candidates& out) {
  out.nearest_count = 0;
  out.farther_count = 0;
  insert<true>(*this, position, &out);
}

void match_finder::skip(std::uint32_t position) {
  insert<false>(*this, position, nullptr);
}

}  // namespace mthc::codec
