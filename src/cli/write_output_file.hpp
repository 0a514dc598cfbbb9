#pragma once

#include <cstdint>
#include <span>

namespace mthc {

// Writes `bytes` to a new (or truncated) file at `path`. Returns 0, or 1
// after printing one error line. Prints no success line and removes nothing
// that a failed write left behind.
int write_output_file(const char* path, std::span<const std::uint8_t> bytes) noexcept;

}  // namespace mthc
