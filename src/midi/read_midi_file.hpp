// Reading a Standard MIDI File into its header fields and track chunks, for
// packing.
//
// The file is a "MThd" chunk (tag, 32-bit length 6, format, track count,
// division) followed by "MTrk" chunks (tag, 32-bit length, event bytes), all
// numbers big-endian. Files in the wild bend this in ways that players
// accept, and the reader takes them as a player would, noting each change
// (a midi_change) in file order:
//
// - a RIFF "RMID" file is unwrapped: the MIDI file is the data of its "data"
//   chunk (cut at the end of the file if its size runs past it);
// - an "MThd" chunk longer than 6 bytes loses the bytes beyond the sixth;
// - chunks other than "MTrk" are dropped;
// - whatever follows the last chunk is ignored: fewer than 8 bytes, or a
//   chunk header that cannot be one (a tag that is not four printable ASCII
//   characters, as with zeros, a 0x1A end-of-file mark or text; or a chunk
//   other than "MTrk" whose length runs past the end of the file);
// - a track count that disagrees with the "MTrk" chunks present is set to
//   the number of chunks.
//
// What cannot be taken stays a fault: an "MThd" chunk shorter than 6 bytes,
// an "MTrk" chunk that runs past the end (a track cut short loses music), and
// more tracks than the 16-bit track count holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/pack_midi.hpp>
#include <span>
#include <vector>

namespace mthc {

enum class midi_fault {
  none,
  not_midi,          // neither "MThd" nor a RIFF "RMID" file holding one at the start
  header_too_short,  // the "MThd" chunk's length is `value`, less than 6
  chunk_past_end,    // the header, or the "MTrk" chunk at `offset`, runs past the end
  too_many_tracks,   // `chunk_count` "MTrk" chunks, more than 65535
};

struct midi_tracks {
  // The decoded stream's header fields: the header length (6), format, track
  // count (of the "MTrk" chunks present) and division.
  std::array<std::uint8_t, 10> header_fields{};
  // The data of every "MTrk" chunk, in file order; views into the file.
  std::vector<std::span<const std::uint8_t>> tracks;
};

struct midi_read_result {
  midi_fault fault = midi_fault::none;
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;
  midi_tracks file;
  // What was changed, in file order; offsets are in `bytes` as given.
  std::vector<midi_change> changes;
};

// Splits `bytes` into header fields and tracks, or names the fault. The
// result views `bytes`, which must outlive it. Throws std::bad_alloc.
midi_read_result read_midi_file(std::span<const std::uint8_t> bytes);

// The packer's error for a fault (the details carry over as they are).
pack_error pack_error_of(midi_fault fault) noexcept;

}  // namespace mthc
