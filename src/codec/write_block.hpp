// Writing a parse as a block bit stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/lz_step.hpp"

namespace mthc::codec {

// Writes the steps of `parse`, which must cover `data` exactly (literal runs
// of at least 1 byte, matches no shorter than the codes allow and no farther
// back than the bytes before them), as the packed bytes of one block.
//
// The block carries no end marker: it ends by running out of packed bytes,
// which the decoder takes as the end after a match, and after a literal as
// soon as the zero flag bits left in the last flag byte begin a code it cannot
// finish. The one parse ending that would cut the block short (a match that
// needs no packed byte of its own right after another match) gets one zero
// byte of padding.
std::vector<std::uint8_t> write_block(std::span<const std::uint8_t> data, const lz_parse& parse);

}  // namespace mthc::codec
