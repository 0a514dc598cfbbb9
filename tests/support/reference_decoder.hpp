// A plain decoder of the block bit stream, kept apart from the product's
// decoder as the oracle of the differential tests: one flag bit at a time,
// every read and write checked, matches copied byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mthc::test {

// Same contract as mthc::decode_block: decodes `packed` into `out`, returns
// the number of bytes written (at most out.size()), never reads or writes
// outside the two spans, and writes nothing beyond the bytes it returns.
std::size_t reference_decode_block(std::span<const std::uint8_t> packed,
                                   std::span<std::uint8_t> out) noexcept;

}  // namespace mthc::test
