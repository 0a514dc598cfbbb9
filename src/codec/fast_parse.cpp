#include "codec/fast_parse.hpp"

#include <vector>

#include "codec/block_code.hpp"

namespace mthc::codec {

namespace {

constexpr unsigned k_hash_bits = 14;

std::uint32_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16;
  return (v * 2654435761U) >> (32 - k_hash_bits);
}

std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
  std::uint32_t n = 0;
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
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
  // Positions + 1, so that 0 means empty.
  std::vector<std::uint32_t> table(std::size_t{1} << k_hash_bits, 0);
  std::uint32_t last_distance = 1;

  std::uint32_t position = 0;
  while (position < size) {
    const std::uint32_t available = size - position;
    const std::uint8_t* const current = base + position;

    std::uint32_t repeat_length = 0;
    if (last_distance <= position) {
      repeat_length = common_length(current, current - last_distance, available);
      if (repeat_length < min_match_count(last_distance)) repeat_length = 0;
    }
    std::uint32_t found_length = 0;
    std::uint32_t found_distance = 0;
    if (available >= 3) {
      std::uint32_t& slot = table[hash3(current)];
      if (slot != 0) {
        found_distance = position - (slot - 1);
        found_length = common_length(current, base + slot - 1, available);
        if (found_length < min_match_count(found_distance)) found_length = 0;
      }
      slot = position + 1;
    }

    // Compare by bits saved over literals.
    const auto saving = [](std::uint32_t length, std::uint32_t bits) {
      return static_cast<std::int64_t>(length) * k_literal_bits - bits;
    };
    std::int64_t repeat_saving = 0;
    if (repeat_length != 0)
      repeat_saving = saving(repeat_length, repeat_match_bits(last_distance, repeat_length));
    std::int64_t found_saving = 0;
    if (found_length != 0)
      found_saving = saving(found_length, explicit_match_bits(found_distance, found_length));

    std::uint32_t taken = 0;
    if (repeat_saving > 0 && repeat_saving >= found_saving) {
      parse.push_back({last_distance, repeat_length});
      taken = repeat_length;
    } else if (found_saving > 0) {
      parse.push_back({found_distance, found_length});
      last_distance = found_distance;
      taken = found_length;
    } else {
      add_literal(parse);
      ++position;
      continue;
    }
    // Index the positions inside the match too, so later repeats find them.
    for (std::uint32_t p = position + 1; p < position + taken && p + 3 <= size; ++p)
      table[hash3(base + p)] = p + 1;
    position += taken;
  }
  return parse;
}

}  // namespace mthc::codec
