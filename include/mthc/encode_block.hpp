// Encoder for one compressed block: the inverse of decode_block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mthc {

// The most a block can hold: its declared size is a 16-bit number.
inline constexpr std::size_t k_max_block_size = 0xFFFF;

enum class encode_level {
  // A greedy one-pass parse with a hash table: for large inputs.
  fast,
  // An optimal parse priced in exact bits over binary-tree match candidates,
  // with the repeated distance tracked as part of the parse state.
  best,
};

// Compresses `data` (at most k_max_block_size bytes) into the packed bytes of
// one block. decode_block turns them back into exactly `data` whatever room it
// is given beyond data.size(): the block stops by itself at its end, without
// an end marker, by running out of packed bytes where the decoder can go no
// further (zero flag bits pad the last flag byte). Literal-only coding bounds the result
// at data.size() + data.size() / 8 + 2 bytes. Empty data gives an empty block.
//
// Throws std::bad_alloc when memory runs out (the best level needs about
// 130 bytes per input byte, some 8 MiB for a full block).
std::vector<std::uint8_t> encode_block(std::span<const std::uint8_t> data, encode_level level);

}  // namespace mthc
