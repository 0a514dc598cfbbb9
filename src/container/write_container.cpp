#include "container/write_container.hpp"

#include <cassert>
#include <new>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc {

std::vector<std::uint8_t> write_container(std::span<const std::vector<std::uint8_t>> blocks,
                                          encode_level level) {
  using namespace format;
  assert(blocks.size() <= k_max_block_count);
  std::vector<std::uint8_t> image(k_container_tag.begin(), k_container_tag.end());
  image.push_back(static_cast<std::uint8_t>(blocks.size()));
  for (const std::vector<std::uint8_t>& block : blocks) {
    encode_result packed = encode_block(block, level);
    if (packed.error == encode_error::out_of_memory) throw std::bad_alloc();
    assert(packed.error == encode_error::none);
    if (packed.packed.size() > k_max_packed_size) return {};
    append_be16(image, static_cast<std::uint32_t>(block.size()));
    append_be16(image, static_cast<std::uint32_t>(packed.packed.size()));
    image.insert(image.end(), packed.packed.begin(), packed.packed.end());
  }
  return image;
}

}  // namespace mthc
