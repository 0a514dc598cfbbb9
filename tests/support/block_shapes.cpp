#include "block_shapes.hpp"

#include <algorithm>

#include "format/format.hpp"

namespace mthc::test {

namespace {

using bytes = std::vector<std::uint8_t>;

// Bytes without structure, from a seed (xorshift).
struct noise {
  std::uint64_t state;
  std::uint8_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::uint8_t>(state >> 24);
  }
};

// Copies `count` bytes from `distance` back, byte by byte as a decoder would,
// so a copy may overlap itself.
void copy_back(bytes& out, std::size_t distance, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out.push_back(out[out.size() - distance]);
}

}  // namespace

bytes tiled(std::span<const std::uint8_t> pattern, std::size_t size) {
  bytes out(size, 0);
  if (pattern.empty()) return out;
  for (std::size_t i = 0; i < size; ++i)
    out[i] = pattern[i % pattern.size()];
  return out;
}

bytes from_recipe(std::span<const std::uint8_t> recipe, std::size_t size) {
  if (recipe.empty()) return bytes(size, 0);
  bytes out;
  out.reserve(size + 256);
  std::size_t next = 0;
  const auto take = [&] { return recipe[next++ % recipe.size()]; };
  std::size_t last_distance = 1;
  while (out.size() < size) {
    const std::uint8_t command = take();
    const std::size_t count = (command >> 2) + 2;
    if ((command & 3) == 0 || out.empty()) {
      out.push_back(take());
    } else if ((command & 3) == 1) {
      out.insert(out.end(), count - 1, take());
    } else if ((command & 3) == 2) {
      const std::size_t wanted = std::size_t{take()} << 8 | take();
      last_distance = wanted % out.size() + 1;
      copy_back(out, last_distance, count);
    } else {
      copy_back(out, std::min(last_distance, out.size()), count);
      out[out.size() - 1 - count / 2] = take();
    }
  }
  out.resize(size);
  return out;
}

bytes far_apart(std::span<const std::uint8_t> piece, std::size_t size) {
  noise filler{0x9E3779B97F4A7C15ULL ^ piece.size()};
  for (const std::uint8_t b : piece)
    filler.state = (filler.state ^ b) * 0x100000001B3ULL | 1;
  bytes out(size);
  for (std::uint8_t& b : out)
    b = filler.next();
  if (piece.empty()) return out;
  // The same piece every `gap` bytes: the same far distance again and again.
  const std::size_t gap = format::k_long_distance + 1 + std::size_t{piece[0]} * 16;
  const std::size_t length = std::min<std::size_t>(piece.size(), 64);
  for (std::size_t at = piece.size() % 97; at < size; at += gap) {
    const std::size_t n = std::min(length, size - at);
    std::copy_n(piece.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return out;
}

}  // namespace mthc::test
