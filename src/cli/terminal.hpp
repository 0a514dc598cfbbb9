// The console: whether a stream is a terminal, and binary standard streams.
#pragma once

#include <cstdio>

namespace mthc {

bool is_terminal(std::FILE* stream) noexcept;

// Standard input and output carry bytes as they are (Windows would otherwise
// translate line ends in them).
void use_binary_standard_streams() noexcept;

}  // namespace mthc
