#include "codec/parse_table.hpp"

#include <algorithm>
#include <array>
#include <bit>

namespace mthc::codec {

namespace {

constexpr std::array<std::uint32_t, k_arrivals> make_slot_bits() {
  std::array<std::uint32_t, k_arrivals> bits{};
  for (std::uint32_t i = 0; i < k_arrivals; ++i)
    bits[i] = 1U << i;
  return bits;
}

// 1 << i for slot i.
constexpr std::array<std::uint32_t, k_arrivals> k_slot_bits = make_slot_bits();

// A mask of the slots in use whose arrival has `last_distance`. Found
// without a loop whose length the processor would have to guess: every slot
// is compared and the free ones masked off after. The bits come from a
// table rather than a shift by the slot number, so that the compiler makes
// the loop a few vector compares (a shift by a different amount per lane
// has no SSE2 instruction): a third of the instructions of each take.
std::uint32_t slots_with(const arrival_set& s, std::uint32_t last_distance) {
  std::uint32_t same = 0;
  for (std::uint32_t i = 0; i < k_arrivals; ++i)
    same |= k_slot_bits[i] & (0U - static_cast<std::uint32_t>(s.last_distance[i] == last_distance));
  return same & ((1U << s.count) - 1);
}

}  // namespace

// A quarter of the takes are a position's first: no slot to search, no
// arrival to compare with.
void parse_table::take_first(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
                             offer_source source) {
  arrival_set& s = sets_[position & mask_];
  offer_bounds& b = bounds_[position & mask_];
  s.count = 1;
  s.best = 0;
  s.cost[0] = cost;
  s.last_distance[0] = last_distance;
  b.cheapest = cost;
  b.cheapest_distance = last_distance;
  ring_links_[(position & mask_) * k_arrivals] = source.link();
}

// Out of line: offer's checks, inlined into the parse's loops, turn most
// offers away, and the loops stay small.
void parse_table::take(std::size_t position, std::uint32_t cost, std::uint32_t last_distance,
                       offer_source source) {
  arrival_set& s = sets_[position & mask_];
  offer_bounds& b = bounds_[position & mask_];
  if (s.count == 0) {
    take_first(position, cost, last_distance, source);
    return;
  }
  const std::uint32_t same = slots_with(s, last_distance);
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
  ring_links_[(position & mask_) * k_arrivals + target] = source.link();
}

std::optional<lz_parse> cheapest_path(const parse_table& table, std::uint32_t end) {
  lz_parse parse;
  std::uint32_t at = end;
  std::uint32_t slot = table.at(end).best;
  // The ranges passed over that may still hold a position ahead on the way
  // back (those before `at`): fewer as it goes.
  const std::vector<parse_table::passed_range>& passed = table.passed_over();
  std::size_t ranges = passed.size();
  while (at > 0) {
    if (slot >= table.kept_slots(at)) return std::nullopt;
    const arrival_link& link = table.link(at, slot);
    if (link.from >= at) return std::nullopt;
    while (ranges > 0 && passed[ranges - 1].first > link.from)
      --ranges;
    if (ranges > 0 && link.from < passed[ranges - 1].end) return std::nullopt;
    const std::uint32_t count = at - link.from;
    if (link.distance == 0 && !parse.empty() && parse.back().distance == 0) {
      parse.back().count += count;
    } else {
      parse.push_back({link.distance, count});
    }
    slot = link.from_slot;
    at = link.from;
  }
  std::reverse(parse.begin(), parse.end());
  return parse;
}

}  // namespace mthc::codec
