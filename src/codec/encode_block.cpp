#include <mthc/encode_block.hpp>
#include <new>
#include <optional>

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
    std::optional<codec::lz_parse> parse;
    if (level == encode_level::fast) {
      parse = codec::fast_parse(data);
    } else {
      parse = codec::optimal_parse(data, codec::optimal_parse_settings{});
    }
    std::optional<std::vector<std::uint8_t>> packed;
    if (parse) packed = codec::write_block(data, *parse);
    if (!packed) {
      result.error = encode_error::internal_error;
      return result;
    }
    result.packed = std::move(*packed);
  } catch (const std::bad_alloc&) {
    result = encode_result{encode_error::out_of_memory, {}};
  }
  return result;
}

}  // namespace mthc
