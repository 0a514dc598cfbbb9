// A second, deliberately plain decoder of one block, used by the decode_block
// fuzz target as an oracle. It follows the block format step by step with
// indices instead of pointers and keeps no fast paths, so a fault in a tuned
// decoder shows up as a difference in output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mthc::fuzz {

std::size_t reference_decode_block(std::span<const std::uint8_t> packed,
                                   std::span<std::uint8_t> out) noexcept;

}  // namespace mthc::fuzz
