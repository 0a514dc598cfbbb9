// Builders for test containers and decoded streams.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mthc::test {

using bytes = std::vector<std::uint8_t>;

// One block as stored in a container: its declared size and packed bytes.
struct stored_block {
  std::uint16_t unpacked_size = 0;
  bytes packed;
};

// "MThc", the block count, then every block's header and packed bytes. The
// count may differ from blocks.size() to describe missing blocks.
bytes build_container(std::span<const stored_block> blocks, std::uint8_t block_count);
bytes build_container(std::span<const stored_block> blocks);

// Splits a decoded stream at the given declared block sizes and stores each
// piece as literals (the last piece takes whatever is left).
std::vector<stored_block> literal_blocks(std::span<const std::uint8_t> stream,
                                         std::span<const std::uint16_t> block_sizes);

// The 16-byte stream header: "MThp", header length 6, format, track count,
// division, two spare bytes.
bytes stream_header(std::uint16_t format, std::uint16_t track_count, std::uint16_t division);

// A record area: two spare bytes, the record count (written big-endian), then
// each record as a big-endian 16-bit length and its bytes.
bytes record_area(std::span<const bytes> records);

// A Standard MIDI File: "MThd" (length 6) and one "MTrk" chunk per track.
bytes midi_file(std::uint16_t format, std::uint16_t division, std::span<const bytes> tracks);

// Converts a whole decoded stream (header + one block of records per entry of
// `blocks_of_records`) into a container with literal-only blocks.
bytes container_from_records(std::uint16_t format, std::uint16_t track_count,
                             std::uint16_t division,
                             std::span<const std::vector<bytes>> blocks_of_records);

void append(bytes& to, std::span<const std::uint8_t> from);
void append_be16(bytes& to, std::uint32_t value);
void append_be32(bytes& to, std::uint32_t value);
bytes from_hex(const std::string& hex);

}  // namespace mthc::test
