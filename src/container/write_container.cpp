#include "container/write_container.hpp"

#include <cassert>

namespace mthc {

namespace {

void append_be16(std::vector<std::uint8_t>& to, std::size_t value) {
  to.push_back(static_cast<std::uint8_t>(value >> 8));
  to.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

std::vector<std::uint8_t> write_container(std::span<const std::vector<std::uint8_t>> blocks,
                                          encode_level level) {
  assert(blocks.size() <= 0xFF);
  std::vector<std::uint8_t> image = {'M', 'T', 'h', 'c', static_cast<std::uint8_t>(blocks.size())};
  for (const std::vector<std::uint8_t>& block : blocks) {
    assert(block.size() <= k_max_block_size);
    const std::vector<std::uint8_t> packed = encode_block(block, level);
    if (packed.size() > 0xFFFF) return {};
    append_be16(image, block.size());
    append_be16(image, packed.size());
    image.insert(image.end(), packed.begin(), packed.end());
  }
  return image;
}

}  // namespace mthc
