// The in-memory conversion of a container image into a Standard MIDI File.
#pragma once

#include <cstdint>
#include <span>

#include <mthc/byte_buffer.hpp>

namespace mthc {

enum class conversion_error {
  none,
  // The decoded stream could not be allocated or grown (or would exceed its
  // size limit).
  decompress_failed,
  // The decoded stream is too short or lacks "MThp", or memory for the track
  // buffers or the MIDI image ran out, or the records gather too much data.
  assemble_failed,
};

struct conversion_result {
  conversion_error error = conversion_error::none;
  byte_buffer midi_file;  // the file's bytes when error is none, else empty
};

// Decodes the blocks of a container image, regroups the records by track and
// builds the MIDI file: "MThd" with the stream's header bytes 4 to 13, then
// one "MTrk" chunk per declared track. Prints nothing and never throws.
conversion_result convert_to_midi(std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
