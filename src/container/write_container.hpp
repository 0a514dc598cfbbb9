// Building a container image from the blocks of a decoded stream.
//
// Container layout (numbers big-endian): "MThc", a block count byte, then per
// block a 16-bit unpacked size, a 16-bit packed size and the packed bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/encode_block.hpp"

namespace mthc {

// Compresses every block (each at most k_max_block_size bytes, at most 255
// blocks) and returns the container image, or an empty vector when a block's
// packed bytes do not fit their 16-bit size (nearly incompressible data; a
// block of at most k_always_fitting_block_size bytes always fits). Throws
// std::bad_alloc.
std::vector<std::uint8_t> write_container(std::span<const std::vector<std::uint8_t>> blocks,
                                          encode_level level);

// The packed size is at most n + n / 8 + 2 bytes for n input bytes.
inline constexpr std::size_t k_always_fitting_block_size = 58248;
static_assert(k_always_fitting_block_size + k_always_fitting_block_size / 8 + 2 <= 0xFFFF);

}  // namespace mthc
