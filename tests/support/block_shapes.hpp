// Blocks of bytes shaped from a few bytes of input, for the block encoder's
// fuzz target and tests: the patterns its parse handles differently (long
// overlapping matches, copies from any distance, far repeats), whatever the
// input bytes are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mthc::test {

// `pattern` over and over, `size` bytes (zeros for an empty pattern).
std::vector<std::uint8_t> tiled(std::span<const std::uint8_t> pattern, std::size_t size);

// `size` bytes made by reading `recipe` (from its start again when it runs
// out) as commands: a literal, a run of one byte, a copy from any distance
// so far, or a copy from the last distance used with one byte changed (a
// note that repeats but for its velocity). Zeros for an empty recipe.
std::vector<std::uint8_t> from_recipe(std::span<const std::uint8_t> recipe, std::size_t size);

// `size` bytes of noise seeded by `piece`, with the first 64 bytes of `piece`
// every 0xD01 bytes or more (more as its first byte is larger): matches
// beyond the distance of two-byte codes, at the same distance again and
// again.
std::vector<std::uint8_t> far_apart(std::span<const std::uint8_t> piece, std::size_t size);

}  // namespace mthc::test
