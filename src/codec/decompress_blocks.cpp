#include "codec/decompress_blocks.hpp"

#include <mthc/decode_block.hpp>
#include <new>

#include "codec/byte_buffer.hpp"
#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc::codec {

namespace {

using namespace format;

conversion_error walk(std::span<const std::uint8_t> image, decoded_blocks& result) {
  result.block_count = image[k_block_count_offset];
  result.check.blocks_declared = result.block_count;
  if (!set_capacity(result.stream, k_initial_stream_capacity))
    return conversion_error::out_of_memory;
  result.unpacked_size_table.reserve(result.block_count);  // may throw std::bad_alloc

  std::size_t cursor = k_first_block_offset;
  for (std::size_t index = 0; index < result.block_count; ++index) {
    if (cursor + k_block_header_size > image.size()) break;
    const std::uint16_t unpacked_size = read_be16(&image[cursor]);
    const std::uint16_t packed_size = read_be16(&image[cursor + 2]);
    // Recorded before the packed bytes are checked: a block cut off by the
    // end of the image still declares its size.
    result.unpacked_size_table.push_back(unpacked_size);
    if (cursor + k_block_header_size + packed_size > image.size()) {
      result.check.next_block_cut_short = true;
      break;
    }

    byte_buffer& stream = result.stream;
    std::size_t capacity = stream.capacity;
    while (capacity < stream.length + unpacked_size)
      capacity *= 2;
    if (capacity != stream.capacity) {
      if (capacity > k_max_stream_capacity) return conversion_error::stream_too_large;
      if (!set_capacity(stream, capacity)) return conversion_error::out_of_memory;
    }

    // The room is all of the free capacity, not the declared size: a block
    // that produces more than it declares shifts every later block.
    const std::size_t produced =
        decode_block(image.subspan(cursor + k_block_header_size, packed_size),
                     std::span(stream.data.get() + stream.length, stream.capacity - stream.length));
    stream.length += produced;
    cursor += k_block_header_size + packed_size;
    ++result.check.blocks_present;
    if (produced != unpacked_size && !result.check.first_size_mismatch) {
      result.check.first_size_mismatch =
          container_check::size_mismatch{index, unpacked_size, produced};
    }
  }
  return conversion_error::none;
}

}  // namespace

conversion_error decompress_blocks(std::span<const std::uint8_t> image,
                                   decoded_blocks& result) noexcept {
  result = decoded_blocks{};
  if (image.size() <= k_block_count_offset) return conversion_error::none;
  conversion_error error = conversion_error::out_of_memory;
  try {
    error = walk(image, result);
  } catch (const std::bad_alloc&) {
    error = conversion_error::out_of_memory;
  }
  if (error != conversion_error::none) result = decoded_blocks{};
  return error;
}

}  // namespace mthc::codec
