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
  // True when no nearer candidate is this long: the cheapest distance for
  // every length above the previous such candidate's.
  bool nearest;
};

struct match_finder {
  std::span<const std::uint8_t> data;
  // Lengths are capped here; a parse extends a capped match itself.
  std::uint32_t nice_length;
  // Nodes visited per search: bounds the work on degenerate data.
  std::uint32_t max_depth;
  std::vector<std::int32_t> heads;  // per two-byte prefix: latest position, or -1
  std::vector<std::int32_t> nodes;  // two children (smaller, larger) per position

  match_finder(std::span<const std::uint8_t> block, std::uint32_t nice, std::uint32_t depth);

  // Inserts `position` (the next one in order) and fills `out`, which has
  // room for max_depth, with its candidates, nearest first; the lengths of
  // the `nearest` ones increase. Returns the number of candidates.
  std::size_t find(std::uint32_t position, match_candidate* out);
  // Inserts `position` without collecting candidates.
  void skip(std::uint32_t position);
};

}  // namespace mthc::codec
