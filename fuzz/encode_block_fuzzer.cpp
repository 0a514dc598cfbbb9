// Fuzz target for the block encoder at both levels, with the round-trip
// property, on raw bytes rather than MIDI files.
//
// Input: a header of five bytes, then the payload.
//   byte 0, bit 0:    the level: fast (0) or best (1);
//           bits 1-2: the data's shape, made from the payload:
//                     0 the payload as it is,
//                     1 the payload over and over (long overlapping matches),
//                     2 the payload read as a recipe of literals, runs,
//                       copies from any distance and copies with one byte
//                       changed (a repeated note with a new velocity),
//                     3 pieces of the payload in random filler, 0xD00 bytes
//                       and more apart (far matches, far repeated distances);
//           bits 3-4: the scale of the size for shapes 1 to 3: bytes 1 and
//                     2 (big-endian) up to 255, up to 4095, up to 65535, or
//                     the block limit itself, 65535 or one byte more (the
//                     low bit of byte 2);
//           bit 5:    at the best level, the parse and the writer that
//                     encode_block calls, with the parse's settings from
//                     bytes 3 (nice length) and 4 (search depth) instead of
//                     its own: lengths taken whole from 3 bytes on, searches
//                     of one node, and everything between.
//
// Checks, on every input:
// - more than 65535 bytes is too_large with no bytes; anything else packs
//   without error (never the internal error of a failed self-check), within
//   encoded_block_bound, and empty data into an empty block;
// - the block decodes back to the data with exactly the room, and stops by
//   itself at the data's end with more room than that (nothing written past
//   it but within the room).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <optional>
#include <span>
#include <vector>

#include "block_shapes.hpp"
#include "codec/optimal_parse.hpp"
#include "codec/write_block.hpp"
#include "fuzz_check.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;
using span = std::span<const std::uint8_t>;

constexpr std::size_t k_header_size = 5;
constexpr std::size_t k_decode_slack = 64;
constexpr std::uint8_t k_canary = 0xA5;

// The block size that the header asks for.
std::size_t requested_size(const std::uint8_t* header) {
  const std::size_t field = std::size_t{header[1]} << 8 | header[2];
  switch ((header[0] >> 3) & 3) {
    case 0:
      return field & 0xFF;
    case 1:
      return field & 0xFFF;
    case 2:
      return field;
    default:
      return mthc::k_max_block_size + (field & 1);
  }
}

bytes make_data(const std::uint8_t* header, span payload) {
  const std::size_t size = requested_size(header);
  switch ((header[0] >> 1) & 3) {
    case 0:
      return {payload.begin(), payload.end()};
    case 1:
      return mthc::test::tiled(payload, size);
    case 2:
      return mthc::test::from_recipe(payload, size);
    default:
      return mthc::test::far_apart(payload, size);
  }
}

// The best level's parse with other settings, written as encode_block writes
// it: the self-checks must pass with every nice length and depth.
std::optional<bytes> encode_with_settings(span data, const std::uint8_t* header) {
  const mthc::codec::optimal_parse_settings settings{3U + header[3], 1U + header[4] / 2U};
  const std::optional<mthc::codec::lz_parse> parse = mthc::codec::optimal_parse(data, settings);
  if (!parse) return std::nullopt;
  return mthc::codec::write_block(data, *parse);
}

void check_decodes_back(span data, span packed) {
  bytes exact(data.size());
  MTHC_FUZZ_CHECK(mthc::decode_block(packed, exact) == data.size());
  MTHC_FUZZ_CHECK(std::equal(exact.begin(), exact.end(), data.begin(), data.end()));
  // More room: the block ends by itself, and nothing lands past the room.
  const std::size_t room = data.size() + k_decode_slack;
  bytes roomy(room + k_decode_slack, k_canary);
  MTHC_FUZZ_CHECK(mthc::decode_block(packed, std::span(roomy.data(), room)) == data.size());
  MTHC_FUZZ_CHECK(std::equal(data.begin(), data.end(), roomy.begin()));
  MTHC_FUZZ_CHECK(std::all_of(roomy.begin() + static_cast<std::ptrdiff_t>(room), roomy.end(),
                              [](std::uint8_t b) { return b == k_canary; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < k_header_size) return 0;
  const span payload(input + k_header_size, size - k_header_size);
  const bytes data = make_data(input, payload);
  const bool best = (input[0] & 1) != 0;
  if (best && (input[0] & 0x20) != 0 && data.size() <= mthc::k_max_block_size) {
    const std::optional<bytes> packed = encode_with_settings(data, input);
    MTHC_FUZZ_CHECK(packed.has_value());
    MTHC_FUZZ_CHECK(packed->size() <= mthc::encoded_block_bound(data.size()));
    check_decodes_back(data, *packed);
    return 0;
  }
  const mthc::encode_result encoded =
      mthc::encode_block(data, best ? mthc::encode_level::best : mthc::encode_level::fast);
  if (data.size() > mthc::k_max_block_size) {
    MTHC_FUZZ_CHECK(encoded.error == mthc::encode_error::too_large && encoded.packed.empty());
    return 0;
  }
  MTHC_FUZZ_CHECK(encoded.error == mthc::encode_error::none);
  MTHC_FUZZ_CHECK(encoded.packed.size() <= mthc::encoded_block_bound(data.size()));
  MTHC_FUZZ_CHECK(encoded.packed.empty() == data.empty());
  check_decodes_back(data, encoded.packed);
  return 0;
}
