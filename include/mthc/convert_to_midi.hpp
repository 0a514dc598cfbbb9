// The conversion of a container image into a Standard MIDI File, in memory.
//
//   mthc::conversion_result r = mthc::convert_to_midi(container_bytes);
//   if (r.error == mthc::conversion_error::none) save(r.midi_file.used());
#pragma once

#include <cstdint>
#include <mthc/byte_buffer.hpp>
#include <span>

namespace mthc {

enum class conversion_error {
  none,
  // The decoded stream would be larger than any container can declare
  // (64 MiB): blocks that produce more than they declare, a decompression
  // bomb.
  stream_too_large,
  // The decoded stream is shorter than its header and the start of the first
  // record area (18 bytes), or does not begin with "MThp"; an image of fewer
  // than 5 bytes has no blocks at all.
  stream_invalid,
  // The records gather more than 64 MiB of track data (a stream whose blocks
  // re-read the same records).
  tracks_too_large,
  out_of_memory,
};

// The two steps of a conversion: decoding the blocks into one stream, and
// assembling the MIDI file from its records.
enum class conversion_step { decompress, assemble };

struct conversion_result {
  conversion_error error = conversion_error::none;
  // Where the error was found (stream_too_large in decompress, stream_invalid
  // and tracks_too_large in assemble, out_of_memory in either).
  conversion_step failed_step = conversion_step::decompress;
  byte_buffer midi_file;  // the file's bytes when error is none, else empty
};

// Decodes the blocks of a container image, regroups the records by track and
// builds the MIDI file: "MThd" with the stream's header bytes 4 to 13, then
// one "MTrk" chunk per declared track (a track without data as a lone
// end-of-track event). Damaged blocks are not an error: they only produce
// less. Never throws.
conversion_result convert_to_midi(std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
