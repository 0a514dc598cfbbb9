// The conversion of a container image into a Standard MIDI File, in memory.
//
//   mthc::conversion_result r = mthc::convert_to_midi(container_bytes);
//   if (r.error == mthc::conversion_error::none) save(r.midi_file.used());
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/byte_buffer.hpp>
#include <mthc/export.hpp>
#include <optional>
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

// What a container that converted still has wrong: the format has no
// checksum, but a container cut short or damaged most often shows in its
// block sizes and records. Nothing here fails a conversion: damaged blocks
// only produce less, and the file is built from what there is.
struct container_check {
  std::size_t blocks_declared = 0;
  // Blocks whose packed bytes all lie within the image; the walk ends at the
  // first that does not, so every block after these is missing.
  std::size_t blocks_present = 0;
  // The block after those has its header, but its packed bytes run past the
  // end of the image.
  bool next_block_cut_short = false;

  struct size_mismatch {
    std::size_t block = 0;
    std::size_t declared = 0;
    std::size_t decoded = 0;
  };
  // The first block that decodes to a size other than the one it declares.
  std::optional<size_mismatch> first_size_mismatch;

  struct stray_record {
    std::size_t block = 0;
    std::size_t record = 0;
    // true: the record (or the record area's header) runs past its block's
    // declared end or past the stream; false: its number is beyond the track
    // count, so its data belong to no track.
    bool crosses_block_end = true;
  };
  // The first record that does not lie within its block and track.
  std::optional<stray_record> first_stray_record;

  // Every declared block present and decoding to its size.
  bool blocks_complete() const noexcept {
    return blocks_present == blocks_declared && !first_size_mismatch;
  }
  bool sound() const noexcept { return blocks_complete() && !first_stray_record; }
};

// The first thing wrong with the blocks and records of a container, in the
// order of the file: a block of another size than it declares, a record
// outside its block or track, or the blocks missing after the last present
// (what a check reports, and what messages.hpp puts in words).
enum class check_problem { none, size_mismatch, stray_record, missing_blocks };

MTHC_API check_problem first_problem(const container_check& check) noexcept;

struct conversion_result {
  conversion_error error = conversion_error::none;
  // Where the error was found (stream_too_large in decompress, stream_invalid
  // and tracks_too_large in assemble, out_of_memory in either).
  conversion_step failed_step = conversion_step::decompress;
  byte_buffer midi_file;  // the file's bytes when error is none, else empty
  // What the blocks and records showed (also when the assembly failed).
  container_check check;
};

// Decodes the blocks of a container image, regroups the records by track and
// builds the MIDI file: "MThd" with the stream's header bytes 4 to 13, then
// one "MTrk" chunk per declared track (a track without data as a lone
// end-of-track event). Damaged blocks are not an error: they only produce
// less. Never throws.
MTHC_API conversion_result convert_to_midi(std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
