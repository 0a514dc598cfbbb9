// Decoder for one compressed block.
//
// The block is an LZ77 bit stream: single flag bits, taken from an 8-bit flag
// register, select between a literal byte and a back-reference into this
// block's own output; distances and long lengths use gamma-style codes. The
// layout is written down in docs/format.md.
//
//   std::vector<std::uint8_t> out(declared_size);
//   out.resize(mthc::decode_block(packed, out));  // fewer bytes if damaged
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <span>

namespace mthc {

// Decodes `packed` into `out` and returns the number of bytes written, from 0
// up to out.size() (the room).
//
// There is no error result. Truncated or damaged input ends the block early
// and the bytes produced so far are its output: the decoder never reads
// outside `packed`, never writes outside `out`, never allocates and never
// throws. An empty `packed` or an empty `out` returns 0 without reading.
// Bytes of `out` beyond the returned count may have been overwritten (the
// decoder copies in words where the room allows it); their values mean
// nothing.
MTHC_API std::size_t decode_block(std::span<const std::uint8_t> packed,
                                  std::span<std::uint8_t> out) noexcept;

}  // namespace mthc
