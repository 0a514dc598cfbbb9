// Encoder for one compressed block: the inverse of decode_block.
//
//   mthc::encode_result r = mthc::encode_block(data, mthc::encode_level::best);
//   if (r.error == mthc::encode_error::none) store(data.size(), r.packed);
//   // r.packed.size() <= mthc::encoded_block_bound(data.size())
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <span>
#include <vector>

namespace mthc {

// The most a block can hold: its declared size is a 16-bit number.
inline constexpr std::size_t k_max_block_size = 0xFFFF;

// The largest packed size of a block of `size` bytes, whatever they hold:
// every byte as a literal (a flag bit and the byte), the last flag byte
// counted whole, and one byte of padding. A container stores packed sizes in
// 16 bits, so blocks of up to 58,248 bytes always fit.
constexpr std::size_t encoded_block_bound(std::size_t size) noexcept {
  return size + size / 8 + 2;
}

enum class encode_level {
  // A greedy one-pass parse with a hash table: for large inputs.
  fast,
  // An optimal parse priced in exact bits over binary-tree match candidates,
  // with the repeated distance tracked as part of the parse state.
  best,
};

enum class encode_error {
  none,
  too_large,      // more than k_max_block_size bytes
  out_of_memory,  // the best level needs about 85 bytes per input byte
  // A check of the encoder's own work failed: its parse of the data would
  // have read outside them or written a block that does not decode back.
  // A bug in the encoder, never a fault of the data; no block is returned.
  internal_error,
};

struct encode_result {
  encode_error error = encode_error::none;
  std::vector<std::uint8_t> packed;  // empty unless error is none (and for empty data)
};

// Compresses `data` into the packed bytes of one block. decode_block turns
// them back into exactly `data` whatever room it is given beyond data.size():
// the block stops by itself at its end, without an end marker, by running out
// of packed bytes where the decoder can go no further (zero flag bits pad the
// last flag byte). Empty data gives an empty block. The checks behind
// internal_error run in every build. Never throws.
MTHC_API encode_result encode_block(std::span<const std::uint8_t> data,
                                    encode_level level) noexcept;

}  // namespace mthc
