// Match finder for the optimal parse: a binary tree of suffixes per two-byte
// prefix, over one block.
//
// Every position of the block is inserted in order. The tree of a prefix is
// ordered by the bytes that follow it and, along any search path, by recency,
// so one descent from the root meets, for every match length, the nearest
// earlier position that matches at least that long: for a given length the
// nearest distance has the cheapest code. The other nodes of the path are
// farther matches of lengths already seen; they are reported too, because a
// farther distance can pay for itself later as the repeated distance.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mthc::codec {

struct match_candidate {
  std::uint32_t distance;
  std::uint32_t length;
};

// The candidates of one position, in the order of the search path, in two
// lists: the nearest distance for each length (each longer than the one
// before it, so the cheapest distance for every length above that one's),
// and the farther distances met on the way, no longer than a nearer one.
struct match_candidates {
  std::vector<match_candidate> nearest;
  std::vector<match_candidate> farther;
  std::size_t nearest_count = 0;
  std::size_t farther_count = 0;

  // Room for a search of `depth` nodes. Throws std::bad_alloc.
  explicit match_candidates(std::uint32_t depth) : nearest(depth), farther(depth) {}
  std::span<const match_candidate> nearest_ones() const { return {nearest.data(), nearest_count}; }
  std::span<const match_candidate> farther_ones() const { return {farther.data(), farther_count}; }
};

struct match_finder {
  std::span<const std::uint8_t> data;
  // Lengths are capped here; a parse extends a capped match itself.
  std::uint32_t nice_length;
  // Nodes visited per search: bounds the work on degenerate data.
  std::uint32_t max_depth;
  // Positions in 16 bits, as a block holds at most 65535 bytes (0xFFFF is
  // never a position): the trees take half the memory and more of them stays
  // in cache.
  using node_index = std::uint16_t;
  static constexpr node_index k_no_node = 0xFFFF;
  std::vector<node_index> heads;  // per two-byte prefix: latest position, or k_no_node
  std::vector<node_index> nodes;  // two children (smaller, larger) per position

  match_finder(std::span<const std::uint8_t> block, std::uint32_t nice, std::uint32_t depth);

  // Inserts `position` (the next one in order) and fills `out`, made for
  // max_depth, with its candidates.
  void find(std::uint32_t position, match_candidates& out);
  // Inserts `position` without collecting candidates.
  void skip(std::uint32_t position);
};

}  // namespace mthc::codec
