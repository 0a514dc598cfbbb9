#include "midi/build_midi_file.hpp"

#include <array>
#include <cstdint>

namespace mthc {

namespace {

constexpr std::size_t k_chunk_header_size = 8;
constexpr std::array<std::uint8_t, 4> k_end_of_track = {0x00, 0xFF, 0x2F, 0x00};

}  // namespace

bool build_midi_file(byte_buffer& image, std::span<track_buffer> tracks) noexcept {
  for (track_buffer& track : tracks) {
    const std::span<const std::uint8_t> data =
        track.length == 0 ? std::span<const std::uint8_t>(k_end_of_track) : track.used();
    if (image.capacity < image.length + k_chunk_header_size + data.size()) {
      if (!set_capacity(image, 2 * image.capacity + data.size() + k_chunk_header_size)) {
        return false;
      }
    }
    const auto n = static_cast<std::uint32_t>(data.size());
    const std::array<std::uint8_t, k_chunk_header_size> header = {
        'M',
        'T',
        'r',
        'k',
        static_cast<std::uint8_t>(n >> 24),
        static_cast<std::uint8_t>(n >> 16),
        static_cast<std::uint8_t>(n >> 8),
        static_cast<std::uint8_t>(n)};
    append_unchecked(image, header);
    append_unchecked(image, data);
    track = track_buffer{};
  }
  return true;
}

}  // namespace mthc
