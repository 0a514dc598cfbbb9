// Match finder for the optimal parse: binary trees of suffixes per three-byte
// prefix, and the two-byte matches that can pay, over one block.
//
// Every position of the block is inserted in order. A tree is ordered by the
// bytes of its suffixes and, along any search path, by recency, so one
// descent from the root meets, for every match length from three on, the
// nearest earlier position that matches at least that long: for a given
// length the nearest distance has the cheapest code. The other nodes of the
// path are farther matches of lengths already seen; they are reported too,
// because a farther distance can pay for itself later as the repeated
// distance.
//
// Two-byte matches are coded only up to a near distance (min_match_count), so
// they do not go into the trees, where most of them would be nodes of every
// descent. The nearest one comes from the latest position of its two bytes;
// farther ones only where the match goes on after one differing byte (see
// two_byte_matches).
#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <memory>
#include <mthc/encode_block.hpp>
#include <span>
#include <vector>

#include "format/format.hpp"

namespace mthc::codec {

struct match_candidate {
  std::uint32_t distance;
  std::uint32_t length;
};

// The candidates of one position in two lists: the nearest distance for each
// length (each longer than the one before it, so the cheapest distance for
// every length above that one's), and farther distances, no longer than a
// nearer one.
struct match_candidates {
  std::vector<match_candidate> nearest;
  std::vector<match_candidate> farther;
  std::size_t nearest_count = 0;
  std::size_t farther_count = 0;

  // Room for a search of `depth` nodes and the two-byte matches. Throws
  // std::bad_alloc.
  explicit match_candidates(std::uint32_t depth);
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
  // never a position): the tables take half the memory and more of them
  // stays in cache.
  using node_index = std::uint16_t;
  static constexpr node_index k_no_node = 0xFFFF;
  // Table sizes, as bits of a hash.
  static constexpr unsigned k_tree_bits = 16;
  static constexpr unsigned k_gap_bits = 13;
  // Chain links of the last 4096 positions, more than a two-byte match
  // reaches (checked below).
  static constexpr std::size_t k_gap_ring_mask = 4095;
  // The tables of hashes in one allocation, and the views of its parts.
  std::vector<node_index> tables;
  node_index* heads;       // per three-byte hash: latest position, or k_no_node
  node_index* pair_heads;  // per two-byte prefix: latest position
  node_index* gap_heads;   // per hash of bytes 0, 1 and 3: latest position
  node_index* gap_links;   // per position (in a ring): the one before in its chain
  // Two children (smaller, larger) per position, written when it is inserted
  // and never read before: left unfilled, so the positions inside long
  // matches, which are never inserted, take no memory.
  std::unique_ptr<node_index[]> nodes;

  // Throws std::bad_alloc.
  match_finder(std::span<const std::uint8_t> block, std::uint32_t nice, std::uint32_t depth);
  match_finder(const match_finder&) = delete;
  match_finder& operator=(const match_finder&) = delete;

  // Inserts `position` (the next one in order) and fills `out`, made for
  // max_depth, with its candidates.
  void find(std::uint32_t position, match_candidates& out);
  // Inserts `position` without collecting candidates.
  void skip(std::uint32_t position);
};

// What the 16-bit tables rely on: every position of a block is a node_index
// other than k_no_node, which is beyond them all (so a search reads it as
// out of reach, as two_byte_matches does).
static_assert(k_max_block_size - 1 <= std::numeric_limits<match_finder::node_index>::max() &&
                  k_max_block_size <= match_finder::k_no_node,
              "a block's positions fit node_index below k_no_node");
// The ring of chain links holds a link for every position within reach of a
// two-byte match, counting the one just inserted: a chain followed only that
// far never reads a link that a later position has overwritten.
static_assert(std::has_single_bit(match_finder::k_gap_ring_mask + 1) &&
                  match_finder::k_gap_ring_mask >= format::k_long_distance,
              "the gap ring outlasts the reach of a two-byte match");

}  // namespace mthc::codec
