#include "codec/encode_block.hpp"

#include <cassert>

#include "codec/fast_parse.hpp"
#include "codec/optimal_parse.hpp"
#include "codec/write_block.hpp"

namespace mthc {

std::vector<std::uint8_t> encode_block(std::span<const std::uint8_t> data, encode_level level) {
  assert(data.size() <= k_max_block_size);
  const codec::lz_parse parse = level == encode_level::fast
                                    ? codec::fast_parse(data)
                                    : codec::optimal_parse(data, codec::optimal_parse_settings{});
  return codec::write_block(data, parse);
}

}  // namespace mthc
