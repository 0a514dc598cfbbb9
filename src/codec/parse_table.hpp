// The best level's table of arrivals: for each position of the block, the
// few cheapest ways found to reach it with distinct repeated distances, and
// how each was reached.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mthc/encode_block.hpp>
#include <optional>
#include <vector>

#include "codec/block_code.hpp"
#include "codec/lz_step.hpp"

namespace mthc::codec {

// Arrivals kept per position. Measured on generated songs against a
// reference coder: one arrival (no state) saves 7% over it, four 10.1%,
// eight 10.5%, and thirty-two no more than 10.6%. Dominated arrivals take
// no slot (see parse_table::offer), so most positions use two or three; a
// few use many, and twelve slots save a little over eight there.
inline constexpr std::uint32_t k_arrivals = 12;
static_assert(k_arrivals > 1, "parse_table::take_first leaves the set not full");

// Dearer than any path: an empty set's bounds. Half the range, so that a
// cost plus a saving stays above every real cost.
inline constexpr std::uint32_t k_unreached = 1U << 30;

// The arrivals at one position.
struct arrival_set {
  std::uint32_t cost[k_arrivals];           // bits from the block start
  std::uint32_t last_distance[k_arrivals];  // the decoder's state on arrival
  std::uint32_t count = 0;                  // slots in use, from the first
  std::uint32_t best = 0;                   // the cheapest slot, when count > 0
  std::uint32_t worst_slot = 0;             // the dearest, when every slot is in use
};

// What every offer to a position is checked against first.
struct offer_bounds {
  std::uint32_t cheapest = k_unreached;  // cost of the best arrival
  std::uint32_t worst = k_unreached;     // of the dearest once every slot is in use
  std::uint32_t cheapest_distance = 0;   // the best arrival's state (0: none)
};

// How an arrival was reached: the step from `from` (0 distance: a literal)
// that continued arrival `from_slot` there. Blocks are at most 65535 bytes,
// so positions (the end too) and distances fit 16 bits.
struct arrival_link {
  std::uint16_t from;
  std::uint16_t distance;
  std::uint8_t from_slot;
};
static_assert(sizeof(arrival_link) == 6);
static_assert(k_max_block_size <= std::numeric_limits<std::uint16_t>::max(),
              "a block's positions and distances fit arrival_link");
static_assert(k_arrivals <= std::numeric_limits<std::uint8_t>::max() + 1U,
              "a slot number fits arrival_link");
// Costs stay far below k_unreached: the dearest arrival kept is a literal
// for every byte and a saving more, and an offer adds a match to it.
static_assert(std::uint64_t{k_max_block_size} * k_literal_bits +
                      std::uint64_t{2} * explicit_match_bits(0xFFFF, 0xFFFF) <
                  k_unreached / 2,
              "what k_unreached is dearer than");

// An arrival_link as the parse hands it to offer: its fields side by side in
// one 64-bit word, which stays in one register through the parse's loops and
// the call to take (three words took two registers, which the loops around
// the offers spilled to the stack).
class offer_source {
 public:
  offer_source(std::uint32_t from, std::uint32_t distance, std::uint32_t from_slot)
      : bits_(std::uint64_t{from} | std::uint64_t{distance} << 16 |
              std::uint64_t{from_slot} << 32) {}

  arrival_link link() const {
    return {static_cast<std::uint16_t>(bits_), static_cast<std::uint16_t>(bits_ >> 16),
            static_cast<std::uint8_t>(bits_ >> 32)};
  }

 private:
  std::uint64_t bits_;
};

// The arrivals of the positions ahead of the parse, in rings, and the back
// links of every position parsed. The parse never offers further ahead than
// the `reach` it is built with; the rings hold more positions than that, so
// the one being parsed, the one before it and every position that can still
// be offered to have their own entries: kilobytes that stay in cache, where
// a table for the whole block would take megabytes. The bounds that turn
// most offers away have a ring of their own, the smallest of all. Once a
// position's arrivals are final (the parse has reached it), its links move
// out of the ring into one array, packed, for the backtrack.
class parse_table {
 public:
  // Throws std::bad_alloc.
  parse_table(std::size_t positions, std::uint32_t reach)
      : mask_(std::bit_ceil(std::size_t{reach} + 2) - 1),
        sets_(mask_ + 1),
        bounds_(mask_ + 1),
        ring_links_((mask_ + 1) * k_arrivals),
        first_kept_(new std::uint32_t[positions + 1]),
        kept_(new arrival_link[(positions + 1) * k_arrivals]) {
    first_kept_[0] = 0;
  }

  const arrival_set& at(std::size_t position) const { return sets_[position & mask_]; }
  std::uint32_t cheapest(std::size_t position) const { return bounds_[position & mask_].cheapest; }

  // Offers a way to reach `position` with `last_distance`, which is worth
  // `saving` bits (repeat_saving). It replaces the arrival with the same
  // repeated distance if it is cheaper, fills a free slot, or else displaces
  // the dearest arrival if it beats it.
  //
  // An offer `saving` or more bits dearer than the cheapest arrival is
  // dropped, and so is one with the cheapest arrival's state that does not
  // beat it: whatever follows it, the same steps from the cheapest arrival,
  // with the first match at `last_distance` written explicitly, cost no more.
  // Most offers end there or on the dearest arrival of a full set, before any
  // slot is looked at, and the slots go to arrivals that can still matter.
  void offer(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
             std::uint32_t saving, offer_source source) {
    const offer_bounds& b = bounds_[position & mask_];
    // An offer with the cheapest arrival's state must beat it.
    const std::uint32_t limit =
        last_distance == b.cheapest_distance ? b.cheapest : std::min(b.cheapest + saving, b.worst);
    if (cost >= limit) return;
    take(position, cost, last_distance, source);
  }

  // Offers an arrival that is of use only as the cheapest at `position`:
  // taken only if it beats every arrival there.
  void offer_cheapest(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
                      offer_source source) {
    if (cost >= bounds_[position & mask_].cheapest) return;
    take(position, cost, last_distance, source);
  }

  // Keeps the links of `position`, whose arrivals are final. Positions are
  // kept or passed over in order, from 0.
  void keep(std::size_t position) {
    // All the slots, of which the next position overwrites those not in use:
    // a copy of fixed size is a few moves, where one of `count` slots calls
    // memmove.
    const std::uint32_t first = kept_count_;
    kept_count_ = first + at(position).count;
    first_kept_[position + 1] = kept_count_;
    std::memcpy(&kept_[first], &ring_links_[(position & mask_) * k_arrivals],
                sizeof(arrival_link) * k_arrivals);
  }

  // Notes that the positions from `first` to before `end` are never parsed
  // (a long match passes over them): they keep no links, and `end` begins
  // where the last kept position's ends. Nothing is written for each of them:
  // on repetitive data they are most of the block.
  void pass_over(std::size_t first, std::size_t end) {
    first_kept_[end] = kept_count_;
    passed_over_.push_back({static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end)});
  }

  // How arrival `slot` of a kept position was reached.
  const arrival_link& link(std::size_t position, std::uint32_t slot) const {
    return kept_[first_kept_[position] + slot];
  }

  // The number of arrivals kept for `position`, a kept one.
  std::uint32_t kept_slots(std::size_t position) const {
    return first_kept_[position + 1] - first_kept_[position];
  }

  // The positions passed over, as ranges from `first` to before `end`, in
  // order.
  struct passed_range {
    std::uint32_t first;
    std::uint32_t end;
  };
  const std::vector<passed_range>& passed_over() const { return passed_over_; }

  // Empties `position`'s entry, for a position `mask_ + 1` further on.
  void clear(std::size_t position) {
    sets_[position & mask_].count = 0;
    bounds_[position & mask_] = {};
  }

  // Forgets every arrival ahead: for a jump past all the positions offered
  // to so far.
  void clear_ahead() {
    for (std::size_t p = 0; p <= mask_; ++p)
      clear(p);
  }

 private:
  // The rest of offer, for the few offers that get this far.
  void take(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
            offer_source source);
  // take's case of a position with no arrivals yet.
  void take_first(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
                  offer_source source);

  std::size_t mask_;
  std::vector<arrival_set> sets_;
  std::vector<offer_bounds> bounds_;
  std::vector<arrival_link> ring_links_;  // k_arrivals per ring entry
  // Where each kept position's links begin in `kept_` (and the position
  // after it, where they end), unwritten for positions passed over.
  std::unique_ptr<std::uint32_t[]> first_kept_;
  std::vector<passed_range> passed_over_;
  // Room for every slot of every position, of which only the links kept are
  // written (and so take memory): about three per position.
  std::unique_ptr<arrival_link[]> kept_;
  std::uint32_t kept_count_ = 0;
};

// The steps of the cheapest path to `end`, a kept position, by its back
// links from its cheapest arrival. None when the links do not lead back to
// the block's start through kept arrivals, each from a position before the
// one it reaches and not passed over: links that a broken parse left, which
// would otherwise be read outside the table or followed forever.
std::optional<lz_parse> cheapest_path(const parse_table& table, std::uint32_t end);

}  // namespace mthc::codec
