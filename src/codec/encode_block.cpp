#include <mthc/encode_block.hpp>
#include <new>

#include "codec/fast_parse.hpp"
#include "codec/optimal_parse.hpp"
#include "codec/write_block.hpp"

namespace mthc {

encode_result encode_block(std::span<const std::uint8_t> data, encode_level level) noexcept {
  encode_result result;
  if (data.size() > k_max_block_size) {
    result.error = encode_error::too_large;
    return result;
  }
  try {
    const codec::lz_parse parse = level == encode_level::fast
                                      ? codec::fast_parse(data)
                                      : codec::optimal_parse(data, codec::optimal_parse_settings{});
    result.packed = codec::write_block(data, parse);
  } catch (const std::bad_alloc&) {
    result = encode_result{encode_error::out_of_memory, {}};
  }
  return result;
}

}  // namespace mthc
