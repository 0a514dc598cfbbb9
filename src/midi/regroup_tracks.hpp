// Track regrouping: gathers the per-block records of the decoded stream into
// one byte buffer per track (the layout is in format/format.hpp).
//
// Block 0 begins at offset 0 with its record area at 16; every later block
// begins where the declared sizes of the blocks before it add up to, its
// area at its start. Record h of every block belongs to track h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/convert_to_midi.hpp>
#include <optional>
#include <span>
#include <vector>

#include "codec/byte_buffer.hpp"

namespace mthc::midi {

using track_buffer = byte_buffer;

// Guard against streams that re-read their records over and over (a zero
// declared size makes the next block start at the same place): gathering more
// track data than this in total fails the conversion.
inline constexpr std::size_t k_max_gathered_track_bytes = std::size_t{64} << 20;

// The record count's byte order is not fixed by the format. It is read
// little-endian or big-endian, whichever matches the track count; with no
// match, little-endian when the high byte is 0, else big-endian.
std::uint16_t read_record_count(std::uint8_t lo, std::uint8_t hi,
                                std::uint16_t track_count) noexcept;

enum class regroup_outcome {
  done,
  out_of_memory,  // a track buffer could not grow
  too_large,      // more than k_max_gathered_track_bytes would be gathered
};

// Appends every record of the stream to the buffer of its track (records
// numbered tracks.size() or above are skipped). A malformed stream only ends a
// block or the walk early. `first_stray` is set to the first record (or
// record area) that lies beyond its block's declared end or the stream, or
// carries data beyond the track count.
//
// The walk steps from block to block by `unpacked_size_table`; it reads a
// block without an entry (its start is known) but ends after it.
regroup_outcome regroup_tracks(std::span<const std::uint8_t> stream, std::size_t block_count,
                               std::span<const std::uint16_t> unpacked_size_table,
                               std::span<track_buffer> tracks,
                               std::optional<container_check::stray_record>& first_stray) noexcept;

}  // namespace mthc::midi
