#include "midi/split_tracks.hpp"

#include <algorithm>
#include <cassert>

#include "format/big_endian.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc::midi {

namespace {

using namespace format;

std::size_t next_with_data(const track_layout& layout, std::size_t track) {
  while (track < layout.tracks.size() && layout.tracks[track].empty())
    ++track;
  return track;
}

// Fills blocks of at most `limit` bytes in order. Returns false when a block
// other than the first can take nothing or more than `max_blocks` would be
// needed. (Block 0 may take nothing when the first data belongs to a track
// whose records do not fit beside the stream header.)
bool fill_blocks(const track_layout& layout, track_cursor at, bool starts_stream, std::size_t limit,
                 std::size_t max_blocks, std::vector<block_plan>& out) {
  out.clear();
  if (!starts_stream && at.track >= layout.tracks.size()) return true;
  for (bool first = starts_stream;; first = false) {
    if (out.size() == max_blocks) return false;
    const block_plan block = fill_block(layout, at, first, limit);
    if (!first && block.end == block.begin) return false;
    out.push_back(block);
    at = block.end;
    if (at.track >= layout.tracks.size()) return true;
  }
}

}  // namespace

split_fault make_layout(std::span<const std::uint8_t, 10> header_fields,
                        std::span<const std::span<const std::uint8_t>> tracks, track_layout& layout,
                        std::size_t& track) {
  assert(tracks.size() <= k_max_track_count);
  const auto track_count = static_cast<std::uint16_t>(tracks.size());
  layout.tracks = tracks;
  std::copy(header_fields.begin(), header_fields.end(), layout.header_fields.begin());
  layout.records_needed.assign(tracks.size(), 0);
  // A record count that cannot be stored is rounded up with empty records;
  // the track count itself can always be stored.
  std::size_t representable = tracks.size();
  for (std::size_t h = tracks.size(); h-- > 0;) {
    if (record_count_bytes(static_cast<std::uint16_t>(h + 1), track_count)) representable = h + 1;
    layout.records_needed[h] = static_cast<std::uint16_t>(representable);
  }
  for (std::size_t h = tracks.size(); h-- > 0;) {
    if (tracks[h].empty()) continue;
    if (k_record_area_header_size + k_record_header_size * layout.records_needed[h] + 1 >
        k_max_block_size) {
      track = h;
      return split_fault::too_many_tracks;
    }
    break;
  }
  return split_fault::none;
}

track_cursor first_cursor(const track_layout& layout) {
  return {next_with_data(layout, 0), 0};
}

block_plan fill_block(const track_layout& layout, track_cursor from, bool starts_stream,
                      std::size_t max_block_size) {
  const std::size_t base = k_record_area_header_size + (starts_stream ? k_stream_header_size : 0);
  block_plan block{from, from, 0, base};
  track_cursor at = from;
  std::size_t data = 0;
  while (at.track < layout.tracks.size()) {
    const std::size_t records = layout.records_needed[at.track];
    const std::size_t fixed = base + k_record_header_size * records + data;
    if (fixed >= max_block_size) break;
    const std::size_t left = layout.tracks[at.track].size() - at.offset;
    const std::size_t take = left < max_block_size - fixed ? left : max_block_size - fixed;
    data += take;
    block.records = records;
    at.offset += take;
    // True when the block fills before the track ends (cppcheck misreads the min).
    // cppcheck-suppress knownConditionTrueFalse
    if (take < left) break;
    at = {next_with_data(layout, at.track + 1), 0};
  }
  block.end = at;
  block.size = base + k_record_header_size * block.records + data;
  return block;
}

bool plan_blocks(const track_layout& layout, track_cursor from, bool starts_stream,
                 std::size_t max_block_size, std::size_t max_blocks,
                 std::vector<block_plan>& blocks) {
  if (!fill_blocks(layout, from, starts_stream, max_block_size, max_blocks, blocks)) return false;
  // The smallest limit that needs no more blocks: the blocks even out.
  const std::size_t block_count = blocks.size();
  std::size_t low = 0;  // fails (or is untried)
  std::size_t high = max_block_size;
  std::vector<block_plan> trial;
  while (high - low > 1) {
    const std::size_t middle = low + (high - low) / 2;
    if (fill_blocks(layout, from, starts_stream, middle, block_count, trial)) {
      high = middle;
      blocks.swap(trial);
    } else {
      low = middle;
    }
  }
  return true;
}

void build_block(const track_layout& layout, const block_plan& block, bool starts_stream,
                 std::vector<std::uint8_t>& bytes) {
  const auto track_count = static_cast<std::uint16_t>(layout.tracks.size());
  bytes.clear();
  bytes.reserve(block.size);
  if (starts_stream) {
    bytes.assign(k_stream_tag.begin(), k_stream_tag.end());
    bytes.insert(bytes.end(), layout.header_fields.begin(), layout.header_fields.end());
    bytes.resize(k_stream_header_size);  // and the two spare bytes
  }
  const auto count_bytes =
      record_count_bytes(static_cast<std::uint16_t>(block.records), track_count);
  assert(count_bytes.has_value());
  bytes.insert(bytes.end(), {0, 0, (*count_bytes)[0], (*count_bytes)[1]});
  for (std::size_t h = 0; h < block.records; ++h) {
    const std::span<const std::uint8_t> track = layout.tracks[h];
    std::size_t begin = 0;
    std::size_t end = 0;
    if (h >= block.begin.track && h <= block.end.track) {
      begin = h == block.begin.track ? block.begin.offset : 0;
      end = h == block.end.track ? block.end.offset : track.size();
    }
    append_be16(bytes, static_cast<std::uint32_t>(end - begin));
    bytes.insert(bytes.end(), track.begin() + static_cast<std::ptrdiff_t>(begin),
                 track.begin() + static_cast<std::ptrdiff_t>(end));
  }
  assert(bytes.size() == block.size);
}

std::optional<std::array<std::uint8_t, 2>> record_count_bytes(std::uint16_t record_count,
                                                              std::uint16_t track_count) noexcept {
  const auto low = static_cast<std::uint8_t>(record_count & 0xFF);
  const auto high = static_cast<std::uint8_t>(record_count >> 8);
  // Stored little-endian (low byte first), then big-endian.
  for (const std::array<std::uint8_t, 2> stored :
       {std::array<std::uint8_t, 2>{low, high}, std::array<std::uint8_t, 2>{high, low}}) {
    if (read_record_count(stored[0], stored[1], track_count) == record_count) return stored;
  }
  return std::nullopt;
}

split_result split_tracks(std::span<const std::uint8_t, 10> header_fields,
                          std::span<const std::span<const std::uint8_t>> tracks,
                          std::size_t max_block_size) {
  assert(max_block_size <= k_max_block_size && max_block_size >= 64);
  split_result result;
  track_layout layout;
  if (make_layout(header_fields, tracks, layout, result.track) != split_fault::none) {
    result.fault = split_fault::too_many_tracks;
    return result;
  }
  std::vector<block_plan> plan;
  // The size limit and the block limit, in that order (the names only look alike).
  // NOLINTNEXTLINE(readability-suspicious-call-argument)
  if (!plan_blocks(layout, first_cursor(layout), true, max_block_size, k_max_block_count, plan)) {
    result.fault = split_fault::too_much_data;
    return result;
  }
  for (std::size_t b = 0; b < plan.size(); ++b) {
    result.blocks.emplace_back();
    build_block(layout, plan[b], b == 0, result.blocks.back());
  }
  return result;
}

}  // namespace mthc::midi
