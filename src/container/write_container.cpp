#include "container/write_container.hpp"

#include <cassert>
#include <new>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc::container {

using namespace format;

std::vector<std::uint8_t> start_container() {
  std::vector<std::uint8_t> image(k_container_tag.begin(), k_container_tag.end());
  image.push_back(0);  // the block count
  return image;
}

packed_block pack_block(std::span<const std::uint8_t> block, encode_level level) {
  assert(block.size() <= k_max_block_size);
  encode_result packed = encode_block(block, level);
  if (packed.error == encode_error::out_of_memory) throw std::bad_alloc();
  if (packed.error != encode_error::none) return {packed.error, std::nullopt};
  if (packed.packed.size() > k_max_packed_size) return {};
  return {encode_error::none, std::move(packed.packed)};
}

void append_block(std::vector<std::uint8_t>& image, std::size_t unpacked_size,
                  std::span<const std::uint8_t> packed) {
  assert(image.size() > k_block_count_offset && image[k_block_count_offset] < k_max_block_count &&
         unpacked_size <= k_max_block_size && packed.size() <= k_max_packed_size);
  append_be16(image, static_cast<std::uint32_t>(unpacked_size));
  append_be16(image, static_cast<std::uint32_t>(packed.size()));
  image.insert(image.end(), packed.begin(), packed.end());
  ++image[k_block_count_offset];
}

}  // namespace mthc::container
