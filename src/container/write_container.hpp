// Building a container image from the blocks of a decoded stream (the layout
// is in format/format.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/encode_block.hpp"
#include "format/format.hpp"

namespace mthc {

// Compresses every block (each at most k_max_block_size bytes, at most 255
// blocks) and returns the container image, or an empty vector when a block's
// packed bytes do not fit their 16-bit size (nearly incompressible data; a
// block of at most k_always_fitting_block_size bytes always fits). Throws
// std::bad_alloc.
std::vector<std::uint8_t> write_container(std::span<const std::vector<std::uint8_t>> blocks,
                                          encode_level level);

// A block size whose worst-case packed size fits 16 bits.
inline constexpr std::size_t k_always_fitting_block_size = 58248;
static_assert(encoded_block_bound(k_always_fitting_block_size) <= format::k_max_packed_size);

}  // namespace mthc
