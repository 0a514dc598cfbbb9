#include "codec/fast_parse.hpp"

#include <vector>

#include "codec/block_code.hpp"
#include "codec/common_length.hpp"

namespace mthc::codec {

namespace {

constexpr unsigned k_hash_bits = 14;
// Earlier positions with the same hash looked at per position.
constexpr unsigned k_chain_depth = 2;

std::uint32_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16;
  return (v * 2654435761U) >> (32 - k_hash_bits);
}

// Bits saved over literals by a match.
std::int64_t saving(std::uint32_t length, std::uint32_t bits) {
  return static_cast<std::int64_t>(length) * k_literal_bits - bits;
}

struct choice {
  std::uint32_t distance = 0;
  std::uint32_t length = 0;
  std::int64_t saving = 0;
};

struct hash_chains {
  std::vector<std::uint32_t> head;  // positions + 1, 0 for none
  std::vector<std::uint32_t> previous;

  explicit hash_chains(std::size_t size)
      : head(std::size_t{1} << k_hash_bits, 0), previous(size, 0) {}

  void insert(const std::uint8_t* base, std::uint32_t position) {
    std::uint32_t& h = head[hash3(base + position)];
    previous[position] = h;
    h = position + 1;
  }
};

// The best-saving match at `position`: the repeated distance, then the chain.
choice best_match(const std::uint8_t* base, std::uint32_t size, std::uint32_t position,
                  std::uint32_t last_distance, const hash_chains& chains) {
  const std::uint8_t* const current = base + position;
  const std::uint32_t available = size - position;
  choice best;
  if (last_distance <= position) {
    const std::uint32_t n = common_length(current, current - last_distance, available);
    if (n >= min_match_count(last_distance)) {
      best = {last_distance, n, saving(n, repeat_match_bits(last_distance, n))};
    }
  }
  if (available < 3) return best;
  std::uint32_t at = chains.head[hash3(current)];
  for (unsigned depth = 0; depth < k_chain_depth && at != 0;
       ++depth, at = chains.previous[at - 1]) {
    const std::uint32_t distance = position - (at - 1);
    if (distance == last_distance) continue;
    const std::uint32_t n = common_length(current, base + at - 1, available);
    if (n < min_match_count(distance) || n <= best.length / 2) continue;
    const std::int64_t s = saving(n, explicit_match_bits(distance, n));
    if (s > best.saving) best = {distance, n, s};
  }
  return best;
}

void add_literal(lz_parse& parse) {
  if (!parse.empty() && parse.back().distance == 0) {
    ++parse.back().count;
  } else {
    parse.push_back({0, 1});
  }
}

}  // namespace

lz_parse fast_parse(std::span<const std::uint8_t> data) {
  const auto size = static_cast<std::uint32_t>(data.size());
  const std::uint8_t* const base = data.data();
  lz_parse parse;
  hash_chains chains(data.size());
  std::uint32_t last_distance = 1;

  std::uint32_t position = 0;
  while (position < size) {
    const choice here = best_match(base, size, position, last_distance, chains);
    if (size - position >= 3) chains.insert(base, position);
    if (here.saving <= 0) {
      add_literal(parse);
      ++position;
      continue;
    }
    // One step of lazy matching: a literal and a better match next.
    if (position + 1 < size) {
      const choice next = best_match(base, size, position + 1, last_distance, chains);
      if (next.saving > here.saving + static_cast<std::int64_t>(k_literal_bits)) {
        add_literal(parse);
        ++position;
        continue;
      }
    }
    parse.push_back({here.distance, here.length});
    last_distance = here.distance;
    for (std::uint32_t p = position + 1; p < position + here.length && p + 3 <= size; ++p)
      chains.insert(base, p);
    position += here.length;
  }
  return parse;
}

}  // namespace mthc::codec
