// Reading a Standard MIDI File into its header fields and track chunks, for
// packing.
//
// The file is a "MThd" chunk (tag, 32-bit length 6, format, track count,
// division) followed by "MTrk" chunks (tag, 32-bit length, event bytes), all
// numbers big-endian. Only files that the conversion can give back byte for
// byte are accepted: any other chunk, a header of another length, or a track
// count that disagrees with the chunks would not survive the round trip.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mthc {

enum class midi_fault {
  none,
  not_midi,              // shorter than a chunk header, or no "MThd" tag at the start
  header_length,         // "MThd" length other than 6 (`value`)
  chunk_past_end,        // the chunk at `offset` runs past the end (or its header does)
  foreign_chunk,         // the chunk at `offset` (tag in `tag`) is not "MTrk"
  track_count_mismatch,  // the header declares `value` tracks, there are `chunk_count` chunks
};

struct midi_tracks {
  // File bytes 4 to 13: header length, format, track count, division. The
  // decoded stream's header carries them unchanged.
  std::array<std::uint8_t, 10> header_fields{};
  // The data of every "MTrk" chunk, in file order; views into the file.
  std::vector<std::span<const std::uint8_t>> tracks;
};

struct midi_read_result {
  midi_fault fault = midi_fault::none;
  std::size_t offset = 0;
  std::uint32_t value = 0;
  std::size_t chunk_count = 0;
  std::array<char, 4> tag{};
  midi_tracks file;
};

// Splits `bytes` into header fields and tracks, or names the first fault.
// The result views `bytes`, which must outlive it. Throws std::bad_alloc.
midi_read_result read_midi_file(std::span<const std::uint8_t> bytes);

}  // namespace mthc
