#pragma once

#include <cstdint>
#include <span>

#include "cli/write_output_file.hpp"

namespace mthc::cli {

// Converts a validated container image to a Standard MIDI File at `path` and
// prints the success line with the file's size (and a warning when the
// container is incomplete), or says why not.
failure decompress_to_midi(std::span<const std::uint8_t> image, const char* path,
                           const output_rules& rules) noexcept;

}  // namespace mthc::cli
