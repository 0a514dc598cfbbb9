#include "codec/optimal_parse.hpp"

#include <algorithm>
#include <cassert>
#include <optional>
#include <vector>

#include "codec/always_inline.hpp"
#include "codec/block_code.hpp"
#include "codec/common_length.hpp"
#include "codec/match_finder.hpp"
#include "codec/parse_checks.hpp"
#include "codec/parse_table.hpp"

namespace mthc::codec {

namespace {

// The price of a match at one distance for every length below the nice
// length: the distance's part once, the length's from a table.
struct match_prices {
  std::uint32_t fixed;       // flag bit and distance code
  std::uint32_t adjustment;  // count - length code
  std::uint32_t operator()(std::uint32_t count) const {
    return fixed + k_length_bits[count - adjustment];
  }
};

match_prices explicit_prices(std::uint32_t distance) {
  return {explicit_distance_bits(distance), length_code_offset(distance)};
}

match_prices repeat_prices(std::uint32_t distance) {
  return {k_repeat_distance_bits, length_code_offset(distance)};
}

constexpr arrival_set k_no_arrivals{};

// What the parse knows about one position: where its arrivals are, and how
// far the match at each arrival's repeated distance goes.
struct position_state {
  std::uint32_t position = 0;
  const arrival_set* arrivals = &k_no_arrivals;
  std::uint32_t cheapest = k_unreached;
  std::uint32_t repeat_lengths[k_arrivals] = {};
  std::uint32_t came_by[k_arrivals] = {};  // the distance of the step here (0: a literal)
  bool inside[k_arrivals] = {};            // inside its match (inside_its_match)
  bool continued[k_arrivals] = {};         // not dominated: its steps were offered
  // For ran_at_previous: the farthest distance at which a match can have
  // run at the previous position (0 unless that was parsed just before this
  // one), and its byte.
  std::uint32_t previous_reach = 0;
  std::uint8_t previous_byte = 0;
};

// Sets what ran_at_previous needs once per position, where it is asked per
// arrival and per candidate: the previous position's place and byte.
void note_previous(position_state& here, const position_state& previous, const std::uint8_t* data) {
  const bool adjacent = previous.position + 1 == here.position;
  here.previous_reach = adjacent ? previous.position : 0;
  here.previous_byte = adjacent ? data[previous.position] : 0;
}

// Whether the match at `distance` from `here` already ran at the previous
// position (which was parsed just before it).
bool ran_at_previous(const position_state& here, const std::uint8_t* data, std::uint32_t distance) {
  return distance <= here.previous_reach &&
         data[here.position - 1 - distance] == here.previous_byte;
}

// The cost of the previous position's arrival with `last_distance`, if it
// went on and the match at that distance ran there: it offered the match
// from here one byte longer.
std::optional<std::uint32_t> cost_before(const position_state& previous, const position_state& here,
                                         const std::uint8_t* data, std::uint32_t last_distance) {
  if (!ran_at_previous(here, data, last_distance)) return std::nullopt;
  const arrival_set& arrivals = *previous.arrivals;
  for (std::uint32_t t = 0; t < arrivals.count; ++t) {
    if (arrivals.last_distance[t] == last_distance && previous.continued[t])
      return arrivals.cost[t];
  }
  return std::nullopt;
}

// Whether a match from here, whose lengths `first` to `last` the previous
// position offered one byte longer from a start `behind` bits cheaper (at
// the same distance, so with the same state), can do better at any of them.
// Those offers reached the same positions for the same price, except where
// the length code's price steps up by k_length_step_bits: so only a length
// at such a step can, and only if `behind` is smaller than the step. Inside
// a long match this is seldom, and the offers it saves could not have
// changed the output.
bool beats_previous(std::int64_t behind, std::uint32_t first, std::uint32_t last,
                    std::uint32_t adjustment) {
  return behind < k_length_step_bits && k_next_length_step[first - adjustment] + adjustment <= last;
}

// Offers the lengths `first` to `last` of a match priced by `price` from a
// start that costs `cost` and leaves `last_distance`: all of them, or with
// `only_steps` those at which the price steps up (see beats_previous).
// `last` is the match's full length, so every shorter one lands inside the
// match, where an arrival is not continued (inside_its_match) and is of use
// only as the cheapest, for the explicit matches from there: those lengths
// are offered only to beat it, which turns most of them away before any slot
// is looked at. Inlined: a call moved its nine arguments and saved six
// registers, a quarter of its instructions.
MTHC_ALWAYS_INLINE void offer_lengths(parse_table& table, std::uint32_t position,
                                      std::uint32_t cost, match_prices price,
                                      std::uint32_t last_distance, offer_source source,
                                      std::uint32_t first, std::uint32_t last, bool only_steps) {
  const std::uint32_t saving = repeat_saving(last_distance);
  if (!only_steps) {
    for (std::uint32_t count = first; count < last; ++count)
      table.offer_cheapest(position + count, cost + price(count), last_distance, source);
    table.offer(position + last, cost + price(last), last_distance, saving, source);
    return;
  }
  for (std::uint32_t code = k_next_length_step[first - price.adjustment];
       code + price.adjustment <= last; code = k_next_length_step[code + 1]) {
    const std::uint32_t count = code + price.adjustment;
    if (count < last)
      table.offer_cheapest(position + count, cost + price(count), last_distance, source);
    else
      table.offer(position + count, cost + price(count), last_distance, saving, source);
  }
}

// How many literals an arrival with `last_distance`, not the cheapest one,
// goes on by before its state can serve a repeated-distance match, at most
// `limit`. Until then the state can only be carried along, and the cheapest
// arrival, carried along by literals too, stays the cheaper: the arrival
// need not be offered, taken and continued at each position in between, only
// where its state can be used. Incompressible data, where a dozen such states
// ride along at every position, packs twice as fast; on the test data the
// output is no larger (an arrival that skips positions takes no slot there).
std::uint32_t literals_to_repeat(std::span<const std::uint8_t> data, std::uint32_t position,
                                 std::uint32_t last_distance, std::uint32_t limit) {
  const std::uint8_t* const bytes = data.data();
  // A repeat of two bytes from q needs q + 2 <= size and q >= last_distance.
  const auto size = static_cast<std::uint32_t>(data.size());
  const std::uint32_t end = std::min(position + limit, size - 1);
  for (std::uint32_t q = std::max(position + 1, last_distance); q < end; ++q) {
    if (same_first_two(bytes + q, bytes + q - last_distance)) return q - position;
  }
  return std::min(limit, size - position);
}

// The most positions an arrival skips at once (literals_to_repeat): a longer
// look ahead costs more than it saves.
constexpr std::uint32_t k_literal_skip = 8;

// A match that goes on b bytes further costs less than the same match with a
// second one of b bytes at the repeated distance after it, of which the
// flag and distance code alone are three bits; and one byte further costs at
// most k_length_step_bits, less than a literal.
constexpr bool longer_match_is_cheaper() {
  for (std::uint32_t offset = 1; offset <= 2; ++offset) {
    for (std::uint32_t a = 1; a < 128; ++a) {
      for (std::uint32_t b = 1; a + b + offset < 256; ++b) {
        if (k_length_bits[a + b + offset] >=
            k_length_bits[a] + k_repeat_distance_bits + k_length_bits[b])
          return false;
      }
    }
  }
  return k_length_step_bits < k_literal_bits;
}
static_assert(longer_match_is_cheaper(), "what inside_its_match relies on");

// Whether an arrival at `position` with `last_distance` is inside the match
// that brought it: it came by a match at that distance (`came_by`, so the
// distance is within the block), and the bytes here still match at it. Then
// that match, longer, from the same start, reaches every position that the
// arrival's literal or repeated-distance match would, with the same state,
// for less (longer_match_is_cheaper). It was offered with every length its
// source saw: a farther candidate, a two-byte match and a long match taken
// whole are offered at their full length only, so they end where they land;
// and where only the lengths at a price step were offered, the previous
// position offered the others (see beats_previous; for the finder's
// candidates, usually: see offer_explicit_matches). So the arrival's own
// offers would all be turned away, and it is not continued. On the test
// songs half the arrivals were inside their match, and their offers took a
// seventh of the best level's time.
bool inside_its_match(const std::uint8_t* data, std::uint32_t position, std::uint32_t last_distance,
                      std::uint32_t came_by) {
  return came_by == last_distance && data[position] == data[position - last_distance];
}

// Makes sure that the position after `position` is reached, when the
// cheapest arrival there (of `cost`, with `last_distance`, in `slot`) is
// inside its match and so offers no literal: by that literal, if nothing
// has reached the next position yet. Nearly always the match's next length
// has, for less (see inside_its_match). But for the finder's candidates
// that length can have been left to the previous position, which lacked the
// candidate (see offer_explicit_matches); then nothing else need reach the
// next position, and without this, nothing after it either.
void reach_next(parse_table& table, std::uint32_t position, std::uint32_t cost,
                std::uint32_t last_distance, std::uint32_t slot) {
  if (table.cheapest(position + 1) != k_unreached) return;
  table.offer(position + 1, cost + k_literal_bits, last_distance, repeat_saving(last_distance),
              offer_source{position, 0, slot});
}

// A literal, and every length of the match at the arrival's repeated
// distance, from every arrival that the cheapest one does not dominate (see
// parse_table::offer) and is not inside its match. An arrival that came by
// literals skips ahead to where its state can serve (literals_to_repeat); one
// that came by a match here is most often used or dominated within a byte or
// two, and looking ahead for it would cost more than it saves.
void continue_arrivals(parse_table& table, position_state& here, const position_state& previous,
                       std::span<const std::uint8_t> data, std::uint32_t skip_limit) {
  const arrival_set& arrivals = *here.arrivals;
  const std::uint32_t cheapest = here.cheapest;
  for (std::uint32_t s = 0; s < arrivals.count; ++s) {
    const std::uint32_t cost = arrivals.cost[s];
    const std::uint32_t d = arrivals.last_distance[s];
    here.continued[s] = cost - cheapest < repeat_saving(d) && !here.inside[s];
    if (!here.continued[s]) {
      if (s == arrivals.best) reach_next(table, here.position, cost, d, s);
      continue;
    }
    const bool carried = s != arrivals.best && here.came_by[s] == 0;
    const std::uint32_t literals =
        carried ? literals_to_repeat(data, here.position, d, skip_limit) : 1;
    table.offer(here.position + literals, cost + k_literal_bits * literals, d, repeat_saving(d),
                offer_source{here.position, 0, s});
    if (here.repeat_lengths[s] < min_match_count(d)) continue;
    // Whether the previous position's arrival with the same state went on,
    // no dearer, with this match one byte longer.
    const std::optional<std::uint32_t> before = cost_before(previous, here, data.data(), d);
    const bool offered_before = before.has_value() && *before <= cost;
    const std::uint32_t first = min_match_count(d);
    const std::uint32_t last = here.repeat_lengths[s];
    if (offered_before &&
        !beats_previous(std::int64_t{cost} - *before, first, last, length_code_offset(d)))
      continue;
    offer_lengths(table, here.position, cost, repeat_prices(d), d,
                  offer_source{here.position, d, s}, first, last, offered_before);
  }
}

// Explicit distances cost the same from every arrival and all lead to the
// same state, so only the cheapest arrival needs to try them. Every length
// goes with the nearest distance that reaches it; a farther candidate is
// tried at its full length only, for the state it leaves.
//
// A candidate that ran at the previous position was a candidate there too,
// one byte longer: the nearest one for each of those lengths (a nearer one
// would be nearer here too), or, usually, a farther one found there too (on
// the same search path, or in the two-byte chain). So that position's
// cheapest arrival offered it (see offer_lengths); where it did not, the
// output can only be a little larger, never wrong (but see reach_next).
void offer_explicit_matches(parse_table& table, const position_state& here,
                            const position_state& previous, const std::uint8_t* data,
                            const match_candidates& candidates) {
  const std::uint32_t from_cost = here.cheapest;
  const std::int64_t behind = std::int64_t{from_cost} - previous.cheapest;
  std::uint32_t covered = 1;
  for (const match_candidate& c : candidates.nearest_ones()) {
    const std::uint32_t first = std::max(covered + 1, min_match_count(c.distance));
    covered = c.length;
    if (first > c.length) continue;
    const bool ran = behind >= 0 && ran_at_previous(here, data, c.distance);
    if (ran && !beats_previous(behind, first, c.length, length_code_offset(c.distance))) continue;
    offer_lengths(table, here.position, from_cost, explicit_prices(c.distance), c.distance,
                  offer_source{here.position, c.distance, here.arrivals->best}, first, c.length,
                  ran);
  }
  for (const match_candidate& c : candidates.farther_ones()) {
    // Always codable: three bytes or more, or two within reach of the code.
    assert(c.length >= min_match_count(c.distance));
    const bool ran = behind >= 0 && ran_at_previous(here, data, c.distance);
    if (ran && !beats_previous(behind, c.length, c.length, length_code_offset(c.distance)))
      continue;
    table.offer(here.position + c.length, from_cost + explicit_prices(c.distance)(c.length),
                c.distance, repeat_saving(c.distance),
                offer_source{here.position, c.distance, here.arrivals->best});
  }
}

// Gives the finder the positions that a long match from `position` covers.
// Only the last nice length of them goes into the trees: a match that starts
// further inside and is shorter than the nice length lies within the copied
// bytes, which the same match from the copy's source finds too (farther
// away, by the long match's distance), so those insertions would mostly buy
// nothing. They are what a long repeat costs the finder, each a search as deep
// as the others whose comparisons run the nice length: skipping them makes
// the largest songs pack several times faster, and on the test and benchmark
// data the output is the same.
void skip_covered_positions(match_finder& finder, std::uint32_t position, std::uint32_t length) {
  const std::uint32_t end = position + length;
  for (std::uint32_t p = std::max(position + 1, end - std::min(length, finder.nice_length));
       p < end; ++p)
    finder.skip(p);
}

// Notes how each arrival came and whether it is inside its match, and
// measures the match at each other arrival's repeated distance in full;
// returns the longest. Those shorter than two bytes, which no code can
// express, are 0, as are most: their first two bytes differ, which one
// comparison tells. An arrival inside its match is not measured either (0):
// it is not continued, and its match is shorter than the nice length, or its
// source would have taken it whole. Returns k_state_outside when an
// arrival's state is not within the block (state_in_block): the bytes at its
// distance are not there to read.
constexpr std::uint32_t k_state_outside = ~0U;
std::uint32_t measure_repeats(position_state& here, const parse_table& table,
                              std::span<const std::uint8_t> data) {
  const arrival_set& arrivals = *here.arrivals;
  const std::uint32_t position = here.position;
  const auto available = static_cast<std::uint32_t>(data.size()) - position;
  const std::uint8_t* const current = data.data() + position;
  // Only the decoder's first state, at position 0, has a distance beyond
  // the position.
  const bool measurable = position > 0 && available >= 2;
  std::uint32_t longest = 0;
  for (std::uint32_t s = 0; s < arrivals.count; ++s) {
    const std::uint32_t d = arrivals.last_distance[s];
    if (!state_in_block(d, position)) return k_state_outside;
    here.came_by[s] = table.link(position, s).distance;
    here.inside[s] = inside_its_match(data.data(), position, d, here.came_by[s]);
    const std::uint32_t length =
        measurable && !here.inside[s] && same_first_two(current, current - d)
            ? 2 + common_length(current + 2, current + 2 - d, available - 2)
            : 0;
    here.repeat_lengths[s] = length;
    longest = std::max(longest, length);
  }
  return longest;
}

// A match of at least the nice length (the longest repeat is
// `longest_repeat`) is taken whole: the longest on offer, the cheapest way.
// Nothing else reaches its end, and the positions it covers are not parsed.
// Returns its length, or 0 when there is none.
std::uint32_t take_long_match(parse_table& table, match_finder& finder, const position_state& here,
                              std::uint32_t longest_repeat, const match_candidates& candidates,
                              std::span<const std::uint8_t> data) {
  const std::uint32_t position = here.position;
  const arrival_set& arrivals = *here.arrivals;
  std::uint32_t length = longest_repeat;
  // A candidate as long as the finder looks can only be the last nearest one.
  const std::span<const match_candidate> nearest = candidates.nearest_ones();
  std::uint32_t explicit_distance = 0;
  if (!nearest.empty() && nearest.back().length >= finder.nice_length) {
    const std::uint32_t d = nearest.back().distance;
    const std::uint8_t* const current = data.data() + position;
    const auto available = static_cast<std::uint32_t>(data.size()) - position;
    const std::uint32_t full = common_length(current, current - d, available);
    if (full > length) {
      length = full;
      explicit_distance = d;
    }
  }
  if (length < finder.nice_length) return 0;

  std::uint32_t cost = k_unreached;
  std::uint32_t distance = explicit_distance;
  std::uint32_t slot = arrivals.best;
  if (explicit_distance != 0) cost = here.cheapest + explicit_match_bits(explicit_distance, length);
  for (std::uint32_t s = 0; s < arrivals.count; ++s) {
    if (here.repeat_lengths[s] != length) continue;
    const std::uint32_t d = arrivals.last_distance[s];
    const std::uint32_t c = arrivals.cost[s] + repeat_match_bits(d, length);
    if (c < cost) {
      cost = c;
      distance = d;
      slot = s;
    }
  }
  table.clear_ahead();
  table.offer(position + length, cost, distance, repeat_saving(distance),
              offer_source{position, distance, slot});
  skip_covered_positions(finder, position, length);
  table.pass_over(position + 1, position + length);
  return length;
}

}  // namespace

std::optional<lz_parse> optimal_parse(std::span<const std::uint8_t> data,
                                      const optimal_parse_settings& settings) {
  const auto size = static_cast<std::uint32_t>(data.size());
  if (size == 0) return lz_parse{};

  // Lengths below the nice length are priced from k_length_bits.
  match_finder finder(data, std::min<std::uint32_t>(settings.nice_length, k_length_bits.size()),
                      settings.max_depth);
  // Matches weighed length by length are shorter than the nice length.
  parse_table table(static_cast<std::size_t>(size) + 1, finder.nice_length - 1);
  // The decoder starts with last_distance 1.
  table.offer(0, 0, 1, repeat_saving(1), offer_source{0, 0, 0});
  match_candidates candidates(settings.max_depth);

  // The state of this position and of the one parsed before it (at the
  // start, and after a long match, position 0 and no arrivals: one that
  // ran_at_previous never accepts, since the parse is then further on).
  position_state states[2];
  position_state* here = &states[0];
  position_state* previous = &states[1];
  std::uint32_t position = 0;
  while (position < size) {
    here->position = position;
    here->arrivals = &table.at(position);
    here->cheapest = table.cheapest(position);
    note_previous(*here, *previous, data.data());
    table.keep(position);
    assert(here->arrivals->count > 0);
    finder.find(position, candidates);

    const std::uint32_t longest_repeat = measure_repeats(*here, table, data);
    if (longest_repeat == k_state_outside) return std::nullopt;
    if (const std::uint32_t length =
            take_long_match(table, finder, *here, longest_repeat, candidates, data)) {
      previous->position = 0;
      previous->arrivals = &k_no_arrivals;
      previous->cheapest = k_unreached;
      position += length;
      continue;
    }
    // Skipping arrivals stay within the table's reach.
    continue_arrivals(table, *here, *previous, data,
                      std::min(finder.nice_length - 1, k_literal_skip));
    offer_explicit_matches(table, *here, *previous, data.data(), candidates);
    // The previous position's slot is free for the positions ahead.
    if (previous->position + 1 == position) table.clear(previous->position);
    std::swap(here, previous);
    ++position;
  }
  table.keep(size);
  return cheapest_path(table, size);
}

}  // namespace mthc::codec
