#include "midi/build_midi_file.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc::midi {

bool build_midi_file(byte_buffer& image, std::span<track_buffer> tracks) noexcept {
  using namespace format;
  for (track_buffer& track : tracks) {
    const std::span<const std::uint8_t> data =
        track.length == 0 ? std::span<const std::uint8_t>(k_end_of_track_event) : track.used();
    if (image.capacity < image.length + k_chunk_header_size + data.size()) {
      if (!set_capacity(image, 2 * image.capacity + data.size() + k_chunk_header_size)) {
        return false;
      }
    }
    std::array<std::uint8_t, k_chunk_header_size> header{};
    std::copy(k_track_tag.begin(), k_track_tag.end(), header.begin());
    write_be32(header.data() + k_track_tag.size(), static_cast<std::uint32_t>(data.size()));
    codec::append_unchecked(image, header);
    codec::append_unchecked(image, data);
    track = track_buffer{};
  }
  return true;
}

}  // namespace mthc::midi
