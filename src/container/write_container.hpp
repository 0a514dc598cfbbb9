// Building a container image block by block from the decoded stream (the
// layout is in format/format.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/encode_block.hpp>
#include <optional>
#include <span>
#include <vector>

#include "format/format.hpp"

namespace mthc::container {

// A block size whose worst-case packed size fits 16 bits.
inline constexpr std::size_t k_always_fitting_block_size = 58248;
static_assert(encoded_block_bound(k_always_fitting_block_size) <= format::k_max_packed_size);

// The start of a container image: the tag and a block count of 0. Throws
// std::bad_alloc.
std::vector<std::uint8_t> start_container();

// One block compressed, or why not: `packed` holds its bytes, or none when
// they do not fit their 16-bit size (nearly incompressible data; a block of
// at most k_always_fitting_block_size bytes always fits) or when `error` is
// encode_error::internal_error (the encoder's checks failed).
struct packed_block {
  encode_error error = encode_error::none;
  std::optional<std::vector<std::uint8_t>> packed;
};

// Compresses one block of the decoded stream (at most k_max_block_size
// bytes). Throws std::bad_alloc.
packed_block pack_block(std::span<const std::uint8_t> block, encode_level level);

// Appends a block, its declared size and its packed bytes, to `image` and
// counts it in the header (at most 255 blocks). Throws std::bad_alloc.
void append_block(std::vector<std::uint8_t>& image, std::size_t unpacked_size,
                  std::span<const std::uint8_t> packed);

}  // namespace mthc::container
