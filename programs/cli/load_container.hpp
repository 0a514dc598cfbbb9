// Reading a container file whole, with the messages of the report tool.
#pragma once

#include <cstdint>
#include <limits>
#include <mthc/byte_buffer.hpp>

#include "cli/report.hpp"

namespace mthc::cli {

// Sizes are signed 32-bit counts throughout the tool's output, so files of
// 2 GiB or more are refused when their size is taken.
inline constexpr std::int64_t k_max_container_size = std::numeric_limits<std::int32_t>::max();

// Reads the file at `path` into `image` (length = file size), or says why
// not; `image` is then empty. An empty file is refused as too small.
failure load_container(const char* path, byte_buffer& image) noexcept;

}  // namespace mthc::cli
