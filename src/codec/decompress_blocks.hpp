// The block walk: decodes every block of a container image into one stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/byte_buffer.hpp>
#include <mthc/convert_to_midi.hpp>
#include <span>
#include <vector>

namespace mthc::codec {

// The decoded stream starts at this capacity and only ever doubles.
inline constexpr std::size_t k_initial_stream_capacity = 0x10000;

// A decompression bomb guard: no container needs more than 255 blocks of
// 65535 bytes, so a walk that would need a larger stream than this fails.
inline constexpr std::size_t k_max_stream_capacity = std::size_t{64} << 20;

struct decoded_blocks {
  // `stream.capacity` is the output capacity, `stream.length` the number of
  // bytes produced by all blocks together.
  byte_buffer stream;
  // Declared (unpacked) size of every block whose header was read, in order.
  // Blocks whose header lies beyond the image have no entry.
  std::vector<std::uint16_t> unpacked_size_table;
  std::uint8_t block_count = 0;
  // How many blocks were there, and whether they decoded to their sizes
  // (the records are the regrouping's to check).
  container_check check;
};

// Walks the blocks of `image` and decodes each block whose packed bytes lie
// inside it, placing every block's output right after the previous one's
// actual output. Damaged blocks only produce less; an image too short to
// hold a block count has no blocks (and nothing is allocated). Returns
// out_of_memory, or stream_too_large when the stream would grow beyond
// k_max_stream_capacity; `result` is then left empty.
conversion_error decompress_blocks(std::span<const std::uint8_t> image,
                                   decoded_blocks& result) noexcept;

}  // namespace mthc::codec
