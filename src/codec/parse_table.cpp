#include "codec/parse_table.hpp"

#include <bit>

namespace mthc::codec {

// Out of line: offer's checks, inlined into the parse's loops, turn most
// offers away, and the loops stay small.
void parse_table::take(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
                       offer_source source) {
  arrival_set& s = sets_[position & mask_];
  offer_bounds& b = bounds_[position & mask_];
  // The slot with this state, found without a loop whose length the
  // processor would have to guess: every slot is compared, the free ones
  // masked off after.
  std::uint32_t same = 0;
  for (std::uint32_t i = 0; i < k_arrivals; ++i)
    same |= static_cast<std::uint32_t>(s.last_distance[i] == last_distance) << i;
  same &= (1U << s.count) - 1;
  std::uint32_t target = same != 0 ? static_cast<std::uint32_t>(std::countr_zero(same)) : s.count;
  if (target < s.count) {
    if (cost >= s.cost[target]) return;
  } else if (s.count < k_arrivals) {
    ++s.count;
  } else {
    target = s.worst_slot;
  }
  s.cost[target] = cost;
  s.last_distance[target] = last_distance;
  if (cost < b.cheapest || target == s.best) {
    s.best = target;
    b.cheapest = cost;
    b.cheapest_distance = last_distance;
  }
  if (s.count == k_arrivals) {
    s.worst_slot = 0;
    for (std::uint32_t i = 1; i < k_arrivals; ++i) {
      if (s.cost[i] > s.cost[s.worst_slot]) s.worst_slot = i;
    }
    b.worst = s.cost[s.worst_slot];
  }
  ring_links_[(position & mask_) * k_arrivals + target] = {
      static_cast<std::uint16_t>(source.from), static_cast<std::uint16_t>(source.distance),
      static_cast<std::uint8_t>(source.from_slot)};
}

}  // namespace mthc::codec
