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
//
// The packer plans the whole stream first, then builds and compresses one
// block at a time; when a block is made smaller, the rest is planned again
// from where it ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/pack_midi.hpp>
#include <optional>
#include <span>
#include <vector>

#include "format/format.hpp"

namespace mthc::midi {

static_assert(k_max_track_with_data == (k_max_block_size - format::k_record_area_header_size - 1) /
                                               format::k_record_header_size -
                                           1,
              "a block holds a record per lower track, 2 bytes each, and one byte of data");

// A place in the sequence of all track data: byte `offset` of track `track`.
// A block begins at a byte of data (or at the end, past the last track).
struct track_cursor {
  std::size_t track = 0;
  std::size_t offset = 0;
  friend bool operator==(const track_cursor&, const track_cursor&) = default;
};

// One block of the stream: the track data from `begin` to `end`, carried in
// `records` records (for tracks 0 to records - 1), `size` bytes in all.
struct block_plan {
  track_cursor begin;
  track_cursor end;
  std::size_t records = 0;
  std::size_t size = 0;
};

// The tracks to lay out, and the record count that a block must store when
// its data reaches track h: h + 1, rounded up where the reader could not
// read that count back.
struct track_layout {
  std::span<const std::span<const std::uint8_t>> tracks;
  std::vector<std::uint16_t> records_needed;
  std::array<std::uint8_t, 10> header_fields{};  // MIDI file bytes 4 to 13
};

enum class split_fault {
  none,
  too_many_tracks,  // `track` holds data beyond k_max_track_with_data
  too_much_data,    // more than format::k_max_block_count blocks would be needed
};

// Prepares the layout of `tracks` (at most 65535) behind the stream header
// made of `header_fields`. too_many_tracks names the track in `track`.
// The layout views `tracks`, which must outlive it. Throws std::bad_alloc.
split_fault make_layout(std::span<const std::uint8_t, 10> header_fields,
                        std::span<const std::span<const std::uint8_t>> tracks, track_layout& layout,
                        std::size_t& track);

// The block that begins at `from` and takes all the data that fits
// `max_block_size` bytes; it takes none (end == begin) when even its first
// record does not fit. `starts_stream` for block 0, which carries the stream
// header.
block_plan fill_block(const track_layout& layout, track_cursor from, bool starts_stream,
                      std::size_t max_block_size);

// Lays out the data from `from` to the end in as few blocks of at most
// `max_block_size` bytes as it takes, then evens them out: the smallest size
// limit that needs no more blocks. Returns false when more than `max_blocks`
// blocks would be needed. Without data left, block 0 is still laid out (the
// stream header), a later block is not. Throws std::bad_alloc.
bool plan_blocks(const track_layout& layout, track_cursor from, bool starts_stream,
                 std::size_t max_block_size, std::size_t max_blocks,
                 std::vector<block_plan>& blocks);

// The first byte of data (or the end, when no track has any).
track_cursor first_cursor(const track_layout& layout);

// Writes the bytes of `block` to `bytes` (replacing what it held). Throws
// std::bad_alloc.
void build_block(const track_layout& layout, const block_plan& block, bool starts_stream,
                 std::vector<std::uint8_t>& bytes);

// The two bytes to store for a block of `record_count` records so that the
// reader, which accepts either byte order by comparing with the track count,
// reads `record_count` back; none when neither order does (a few counts
// below the track count, such as 1 of 256 tracks).
std::optional<std::array<std::uint8_t, 2>> record_count_bytes(std::uint16_t record_count,
                                                              std::uint16_t track_count) noexcept;

struct split_result {
  split_fault fault = split_fault::none;
  std::size_t track = 0;
  // The decoded stream, block by block; each at most the size limit.
  std::vector<std::vector<std::uint8_t>> blocks;
};

// The whole stream at once, as the packer lays it out before any block is
// made smaller: `tracks` (at most 65535) behind the stream header made of
// `header_fields`, in blocks of at most `max_block_size` bytes (at most
// 65535; at least 64). Throws std::bad_alloc.
split_result split_tracks(std::span<const std::uint8_t, 10> header_fields,
                          std::span<const std::span<const std::uint8_t>> tracks,
                          std::size_t max_block_size);

}  // namespace mthc::midi
