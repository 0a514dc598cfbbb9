#include "midi/convert_to_midi.hpp"

#include <cstring>
#include <new>
#include <vector>

#include "codec/decompress_blocks.hpp"
#include "midi/build_midi_file.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc {

namespace {

// The stream header (16 bytes) and at least the first two bytes of the first
// record area must be there before anything is assembled.
constexpr std::size_t k_min_stream_size = 18;
constexpr std::size_t k_image_slack = 2048;

// Throws std::bad_alloc only from the vector of track buffers.
conversion_error assemble(decoded_blocks& decoded, byte_buffer& midi) {
  const std::span<const std::uint8_t> stream = decoded.stream.used();
  if (stream.size() < k_min_stream_size) return conversion_error::assemble_failed;
  if (!set_capacity(midi, stream.size() + k_image_slack)) return conversion_error::assemble_failed;
  if (std::memcmp(stream.data(), "MThp", 4) != 0) return conversion_error::assemble_failed;

  // "MThd" followed by the header length, format, track count and division
  // exactly as the stream states them.
  append_unchecked(midi,
                   std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("MThd"), 4));
  append_unchecked(midi, stream.subspan(4, 10));

  const auto track_count = static_cast<std::uint16_t>(stream[10] << 8 | stream[11]);
  std::vector<track_buffer> tracks(track_count);
  if (!regroup_tracks(stream, decoded.block_count, decoded.unpacked_size_table, tracks)) {
    return conversion_error::assemble_failed;
  }
  // The stream is no longer needed: release it before the image grows.
  decoded = decoded_blocks{};
  if (!build_midi_file(midi, tracks)) return conversion_error::assemble_failed;
  return conversion_error::none;
}

}  // namespace

conversion_result convert_to_midi(std::span<const std::uint8_t> image) noexcept {
  conversion_result result;
  // An image too short to hold a block count has no blocks: nothing decodes.
  if (image.size() <= 4) {
    result.error = conversion_error::assemble_failed;
    return result;
  }
  decoded_blocks decoded;
  if (!decompress_blocks(image, decoded)) {
    result.error = conversion_error::decompress_failed;
    return result;
  }
  try {
    result.error = assemble(decoded, result.midi_file);
  } catch (const std::bad_alloc&) {
    result.error = conversion_error::assemble_failed;
  }
  if (result.error != conversion_error::none) result.midi_file = byte_buffer{};
  return result;
}

}  // namespace mthc
