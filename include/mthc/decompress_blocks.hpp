// The block walk: decodes every block of a container image into one stream.
//
// Container block layout (big-endian): byte 4 is the block count; from
// offset 5 each block is a 2-byte unpacked size, a 2-byte packed size and the
// packed bytes, one block right after the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <mthc/byte_buffer.hpp>

namespace mthc {

// The decoded stream starts at this capacity and only ever doubles.
inline constexpr std::size_t k_initial_stream_capacity = 0x10000;

// A decompression bomb guard: no container needs more than 255 blocks of
// 65535 bytes, so a walk that would need a larger stream than this fails as
// if memory had run out.
inline constexpr std::size_t k_max_stream_capacity = std::size_t{64} << 20;

struct decoded_blocks {
  // `stream.capacity` is the output capacity, `stream.length` the number of
  // bytes produced by all blocks together.
  byte_buffer stream;
  // Declared (unpacked) size of every block whose header was read, in order.
  // Blocks whose header lies beyond the image have no entry.
  std::vector<std::uint16_t> unpacked_size_table;
  std::uint8_t block_count = 0;
};

// Walks the blocks of `image` (which must hold at least 5 bytes) and decodes
// each block whose packed bytes lie inside it, placing every block's output
// right after the previous one's actual output. Damaged blocks only produce
// less. Returns false only when memory runs out (or the stream would grow
// beyond k_max_stream_capacity); `result` is then left empty.
bool decompress_blocks(std::span<const std::uint8_t> image, decoded_blocks& result) noexcept;

}  // namespace mthc
