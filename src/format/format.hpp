// The MThc format's numbers, in one place: the container, the compressed
// block, the decoded stream and the Standard MIDI File written from it.
// docs/format.md describes them in prose; this header is what the code uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mthc/encode_block.hpp>
#include <span>

namespace mthc::format {

using tag = std::array<std::uint8_t, 4>;

// Whether `bytes` holds `t` at `offset` (false when it is too short).
inline bool has_tag(std::span<const std::uint8_t> bytes, std::size_t offset,
                    const tag& t) noexcept {
  return bytes.size() >= offset + t.size() &&
         std::memcmp(bytes.data() + offset, t.data(), t.size()) == 0;
}

// ---- The container ----
//
//   0  4  "MThc"
//   4  1  block count
//   5  .. blocks: a 2-byte unpacked (declared) size, a 2-byte packed size,
//         then the packed bytes; each block right after the one before.
inline constexpr tag k_container_tag = {'M', 'T', 'h', 'c'};
inline constexpr std::size_t k_block_count_offset = 4;
inline constexpr std::size_t k_first_block_offset = 5;
inline constexpr std::size_t k_block_header_size = 4;
inline constexpr std::size_t k_max_block_count = 255;
// Both sizes of a block are 16-bit numbers; the declared one is the public
// k_max_block_size.
inline constexpr std::size_t k_max_packed_size = 0xFFFF;

// The same bytes as a fixed header, as the report reads them: the outer
// header (the block count and block 0's sizes), then "MThp" where block 0's
// first four literals lie behind its first flag byte, two control bytes, and
// the payload from offset 16.
inline constexpr std::size_t k_outer_header_offset = 4;
inline constexpr std::size_t k_outer_header_size = 6;
inline constexpr std::size_t k_stream_tag_offset = 10;
inline constexpr std::size_t k_control_offset = 14;
inline constexpr std::size_t k_control_size = 2;
inline constexpr std::size_t k_payload_offset = 16;
static_assert(k_first_block_offset + k_block_header_size + 1 == k_stream_tag_offset,
              "the stream's tag follows block 0's header and first flag byte");

// ---- The compressed block ----

// Distances beyond this copy one byte more for the same length code: short
// matches that far back would not pay for their distance bits.
inline constexpr std::uint32_t k_long_distance = 0xD00;

// ---- The decoded stream ----
//
//   0   4  "MThp"
//   4  10  the MIDI header's length, format, track count and division
//   14  2  spare
//   16 ..  block 0's record area; every later block's area at its start
//
// A record area: 2 spare bytes, a 2-byte record count, then the records,
// each a 2-byte length and that many bytes of track data.
inline constexpr tag k_stream_tag = {'M', 'T', 'h', 'p'};
inline constexpr std::size_t k_header_fields_offset = 4;
inline constexpr std::size_t k_header_fields_size = 10;
inline constexpr std::size_t k_stream_track_count_offset = 10;
inline constexpr std::size_t k_stream_header_size = 16;
inline constexpr std::size_t k_record_area_header_size = 4;
inline constexpr std::size_t k_record_count_offset = 2;
inline constexpr std::size_t k_record_header_size = 2;

// ---- The Standard MIDI File ----
//
// "MThd", a 4-byte length (6), format, track count and division; then one
// chunk per track: "MTrk", a 4-byte length and the track's bytes.
inline constexpr tag k_midi_header_tag = {'M', 'T', 'h', 'd'};
inline constexpr tag k_track_tag = {'M', 'T', 'r', 'k'};
inline constexpr std::size_t k_chunk_header_size = 8;
inline constexpr std::uint32_t k_midi_header_length = 6;
inline constexpr std::size_t k_midi_header_size = k_chunk_header_size + k_midi_header_length;
inline constexpr std::size_t k_midi_format_offset = 8;
inline constexpr std::size_t k_midi_track_count_offset = 10;
inline constexpr std::size_t k_midi_division_offset = 12;
// The track count is a 16-bit number.
inline constexpr std::size_t k_max_track_count = 0xFFFF;
static_assert(k_midi_header_size == 4 + k_header_fields_size,
              "the MIDI header is its tag and the stream's header fields");

// A track without data is written as a lone end-of-track event.
inline constexpr std::array<std::uint8_t, 4> k_end_of_track_event = {0x00, 0xFF, 0x2F, 0x00};

// ---- The RIFF "RMID" wrapper ----
//
// Some MIDI files come wrapped in a RIFF file: "RIFF", a little-endian 32-bit
// size, "RMID", then RIFF chunks (a tag, a little-endian 32-bit size, the
// data, and one padding byte after data of odd size). The Standard MIDI File
// is the data of the "data" chunk; other chunks (such as "LIST" with the
// title) are not part of it.
inline constexpr tag k_riff_tag = {'R', 'I', 'F', 'F'};
inline constexpr tag k_rmid_form_tag = {'R', 'M', 'I', 'D'};
inline constexpr tag k_riff_data_tag = {'d', 'a', 't', 'a'};
inline constexpr std::size_t k_rmid_form_offset = 8;
inline constexpr std::size_t k_riff_header_size = 12;
// A RIFF chunk's header is a tag and a size, as a MIDI chunk's is.
inline constexpr std::size_t k_riff_chunk_header_size = k_chunk_header_size;

}  // namespace mthc::format
