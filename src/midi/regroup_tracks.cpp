#include "midi/regroup_tracks.hpp"

#include <algorithm>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc::midi {

namespace {

using namespace format;

constexpr std::size_t k_first_allocation_extra = 1024;

// Growth: n + 1024 for a first allocation, n + twice the capacity afterwards.
bool append_record(track_buffer& track, std::span<const std::uint8_t> bytes) noexcept {
  if (bytes.empty()) return true;
  const std::size_t n = bytes.size();
  if (track.capacity < track.length + n) {
    const std::size_t grown =
        track.capacity == 0 ? n + k_first_allocation_extra : n + 2 * track.capacity;
    if (!set_capacity(track, grown)) return false;
  }
  codec::append_unchecked(track, bytes);
  return true;
}

}  // namespace

std::uint16_t read_record_count(std::uint8_t lo, std::uint8_t hi,
                                std::uint16_t track_count) noexcept {
  const auto little = static_cast<std::uint16_t>(hi << 8 | lo);
  const auto big = static_cast<std::uint16_t>(lo << 8 | hi);
  if (little == track_count) return little;
  if (big == track_count) return big;
  return hi == 0 ? little : big;
}

regroup_outcome regroup_tracks(std::span<const std::uint8_t> stream, std::size_t block_count,
                               std::span<const std::uint16_t> unpacked_size_table,
                               std::span<track_buffer> tracks,
                               std::optional<container_check::stray_record>& first_stray) noexcept {
  const std::size_t produced_total = stream.size();
  const auto track_count = static_cast<std::uint16_t>(tracks.size());
  std::size_t gathered = 0;
  first_stray.reset();
  const auto stray = [&first_stray](std::size_t block, std::size_t record, bool crosses) {
    if (!first_stray) first_stray = container_check::stray_record{block, record, crosses};
  };

  std::size_t block_start = 0;
  for (std::size_t index = 0; index < block_count && block_start < produced_total; ++index) {
    // Where the block ends by its declared size (the stream's end for a
    // block without one): a record beyond it is not where the layout puts it.
    const std::size_t block_end =
        index < unpacked_size_table.size()
            ? std::min(produced_total, block_start + unpacked_size_table[index])
            : produced_total;
    const std::size_t area = block_start + (index == 0 ? k_stream_header_size : 0);
    if (area + k_record_area_header_size > block_end) stray(index, 0, true);
    if (area + k_record_area_header_size > produced_total) break;

    const std::uint16_t record_count =
        read_record_count(stream[area + k_record_count_offset],
                          stream[area + k_record_count_offset + 1], track_count);
    std::size_t position = area + k_record_area_header_size;
    for (std::size_t h = 0; h < record_count; ++h) {
      if (position + k_record_header_size > block_end) stray(index, h, true);
      if (position + k_record_header_size > produced_total) break;
      const std::size_t n = read_be16(&stream[position]);
      if (position + k_record_header_size + n > block_end) stray(index, h, true);
      if (position + k_record_header_size + n > produced_total) break;
      if (h >= track_count && n != 0) stray(index, h, false);
      if (h < track_count) {
        gathered += n;
        if (gathered > k_max_gathered_track_bytes) return regroup_outcome::too_large;
        if (!append_record(tracks[h], stream.subspan(position + k_record_header_size, n))) {
          return regroup_outcome::out_of_memory;
        }
      }
      position += k_record_header_size + n;
    }

    // Without a declared size there is no next block start to step to.
    if (index >= unpacked_size_table.size()) break;
    block_start += unpacked_size_table[index];
  }
  return regroup_outcome::done;
}

}  // namespace mthc::midi
