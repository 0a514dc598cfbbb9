#include <mthc/convert_to_midi.hpp>
#include <new>
#include <vector>

#include "codec/byte_buffer.hpp"
#include "codec/decompress_blocks.hpp"
#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "midi/build_midi_file.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc {

namespace {

using namespace format;

// The stream header and at least the first two bytes of the first record
// area must be there before anything is assembled.
constexpr std::size_t k_min_stream_size = k_stream_header_size + 2;
constexpr std::size_t k_image_slack = 2048;

// Throws std::bad_alloc only from the vector of track buffers.
conversion_error assemble(codec::decoded_blocks& decoded, byte_buffer& midi,
                          container_check& check) {
  const std::span<const std::uint8_t> stream = decoded.stream.used();
  if (stream.size() < k_min_stream_size) return conversion_error::stream_invalid;
  if (!set_capacity(midi, stream.size() + k_image_slack)) return conversion_error::out_of_memory;
  if (!has_tag(stream, 0, k_stream_tag)) return conversion_error::stream_invalid;

  // "MThd" followed by the header length, format, track count and division
  // exactly as the stream states them.
  codec::append_unchecked(midi, k_midi_header_tag);
  codec::append_unchecked(midi, stream.subspan(k_header_fields_offset, k_header_fields_size));

  const std::uint16_t track_count = read_be16(&stream[k_stream_track_count_offset]);
  std::vector<midi::track_buffer> tracks(track_count);
  switch (midi::regroup_tracks(stream, decoded.block_count, decoded.unpacked_size_table, tracks,
                               check.first_stray_record)) {
    case midi::regroup_outcome::done:
      break;
    case midi::regroup_outcome::out_of_memory:
      return conversion_error::out_of_memory;
    case midi::regroup_outcome::too_large:
      return conversion_error::tracks_too_large;
  }
  // The stream is no longer needed: release it before the image grows.
  decoded = codec::decoded_blocks{};
  if (!midi::build_midi_file(midi, tracks)) return conversion_error::out_of_memory;
  return conversion_error::none;
}

}  // namespace

conversion_result convert_to_midi(std::span<const std::uint8_t> image) noexcept {
  conversion_result result;
  codec::decoded_blocks decoded;
  result.error = codec::decompress_blocks(image, decoded);
  result.check = decoded.check;
  if (result.error != conversion_error::none) return result;
  result.failed_step = conversion_step::assemble;
  try {
    result.error = assemble(decoded, result.midi_file, result.check);
  } catch (const std::bad_alloc&) {
    result.error = conversion_error::out_of_memory;
  }
  if (result.error != conversion_error::none) result.midi_file = byte_buffer{};
  return result;
}

check_problem first_problem(const container_check& c) noexcept {
  // A block that is present comes before the ones that are missing.
  const bool missing = c.blocks_present < c.blocks_declared;
  if (c.first_size_mismatch && (!missing || c.first_size_mismatch->block < c.blocks_present)) {
    return check_problem::size_mismatch;
  }
  if (c.first_stray_record && (!missing || c.first_stray_record->block < c.blocks_present)) {
    return check_problem::stray_record;
  }
  return missing ? check_problem::missing_blocks : check_problem::none;
}

}  // namespace mthc
