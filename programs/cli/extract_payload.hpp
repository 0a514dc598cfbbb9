#pragma once

#include <cstdint>
#include <span>

#include "cli/write_output_file.hpp"

namespace mthc::cli {

// Writes the payload (every byte from offset 16) to `path` and prints the
// success line, or says why not.
failure extract_payload(std::span<const std::uint8_t> image, const char* path,
                        const output_rules& rules) noexcept;

}  // namespace mthc::cli
