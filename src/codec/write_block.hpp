// Writing a parse as a block bit stream.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/lz_step.hpp"

namespace mthc::codec {

// Writes the steps of `parse` as the packed bytes of one block, or none when
// the parse does not write exactly `data` (parse_covers, checked in every
// build): the block would not decode back, and writing it would read past
// `data`.
//
// The block carries no end marker: it ends by running out of packed bytes,
// which the decoder takes as the end after a match, and after a literal as
// soon as the zero flag bits left in the last flag byte begin a code it cannot
// finish. The one parse ending that would cut the block short (a match that
// needs no packed byte of its own right after another match) gets one zero
// byte of padding.
std::optional<std::vector<std::uint8_t>> write_block(std::span<const std::uint8_t> data,
                                                     const lz_parse& parse);

}  // namespace mthc::codec
