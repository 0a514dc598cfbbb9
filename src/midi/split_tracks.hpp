// Laying tracks out as the decoded stream of a container, cut into blocks.
//
// Decoded stream: block 0 begins with a 16-byte header ("MThp", then the MIDI
// header's length, format, track count and division, then two spare bytes);
// every block then holds a record area: two spare bytes, a 2-byte record
// count, and that many records, each a big-endian 16-bit length and the
// bytes. Record h of a block belongs to track h, so a block that carries data
// of track h also carries records (perhaps empty) for tracks 0 to h - 1.
//
// Tracks are laid out in order, one after another, and cut where a block is
// full: most blocks then hold long runs of one or two tracks, which compress
// better than slices of every track. The block size limit is chosen as small
// as the block count allows, so the blocks come out nearly equal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "format/format.hpp"

namespace mthc {

// The highest track index that can hold data at all: its block must also
// carry one record per lower track, 2 bytes each, and at least one data byte.
inline constexpr std::size_t k_max_track_with_data =
    (k_max_block_size - format::k_record_area_header_size - 1) / format::k_record_header_size - 1;

enum class split_fault {
  none,
  too_many_tracks,  // `track` holds data beyond k_max_track_with_data
  too_much_data,    // more than format::k_max_block_count blocks would be needed
};

struct split_result {
  split_fault fault = split_fault::none;
  std::size_t track = 0;
  // The decoded stream, block by block; each at most the size limit.
  std::vector<std::vector<std::uint8_t>> blocks;
};

// The two bytes to store for a block of `record_count` records so that the
// reader, which accepts either byte order by comparing with the track count,
// reads `record_count` back; none when neither order does (a few counts
// below the track count, such as 1 of 256 tracks).
std::optional<std::array<std::uint8_t, 2>> record_count_bytes(std::uint16_t record_count,
                                                              std::uint16_t track_count) noexcept;

// Lays out `tracks` (at most 65535) behind the stream header made of
// `header_fields` (MIDI file bytes 4 to 13), in blocks of at most
// `max_block_size` bytes (at most 65535; at least 64). Throws std::bad_alloc.
split_result split_tracks(std::span<const std::uint8_t, 10> header_fields,
                          std::span<const std::span<const std::uint8_t>> tracks,
                          std::size_t max_block_size);

}  // namespace mthc
