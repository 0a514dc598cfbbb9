#include "midi/split_tracks.hpp"

#include <cassert>

#include "format/big_endian.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc {

namespace {

using namespace format;

// Where a block starts or ends in the sequence of all track data.
struct cursor {
  std::size_t track = 0;
  std::size_t offset = 0;
};

struct planned_block {
  cursor begin;
  cursor end;
  std::size_t records = 0;
};

struct layout {
  std::span<const std::span<const std::uint8_t>> tracks;
  std::vector<std::uint16_t> records_needed;  // per track h: the count to store for records 0..h

  std::size_t next_with_data(std::size_t track) const {
    while (track < tracks.size() && tracks[track].empty())
      ++track;
    return track;
  }

  // Fills blocks of at most `limit` bytes in order. Returns false when a
  // block other than the first can take nothing or more than `max_blocks`
  // would be needed.
  bool plan(std::size_t limit, std::size_t max_blocks, std::vector<planned_block>& out) const {
    out.clear();
    cursor at{next_with_data(0), 0};
    for (bool first = true;; first = false) {
      if (out.size() == max_blocks) return false;
      const std::size_t base = k_record_area_header_size + (first ? k_stream_header_size : 0);
      planned_block block{at, at, 0};
      std::size_t data = 0;
      while (at.track < tracks.size()) {
        const std::size_t records = records_needed[at.track];
        const std::size_t fixed = base + k_record_header_size * records + data;
        if (fixed >= limit) break;
        const std::size_t left = tracks[at.track].size() - at.offset;
        const std::size_t take = left < limit - fixed ? left : limit - fixed;
        data += take;
        block.records = records;
        at.offset += take;
        // True when the block fills before the track ends (cppcheck misreads the min).
        // cppcheck-suppress knownConditionTrueFalse
        if (take < left) break;
        at = {next_with_data(at.track + 1), 0};
      }
      block.end = at;
      if (!first && block.records == 0) return false;
      out.push_back(block);
      if (at.track >= tracks.size()) return true;
    }
  }
};

}  // namespace

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
  assert(tracks.size() <= k_max_track_count && max_block_size <= k_max_block_size &&
         max_block_size >= 64);
  split_result result;
  const auto track_count = static_cast<std::uint16_t>(tracks.size());

  layout lay{tracks, std::vector<std::uint16_t>(tracks.size())};
  // A record count that cannot be stored is rounded up with empty records;
  // the track count itself can always be stored.
  std::size_t representable = tracks.size();
  for (std::size_t h = tracks.size(); h-- > 0;) {
    if (record_count_bytes(static_cast<std::uint16_t>(h + 1), track_count)) representable = h + 1;
    lay.records_needed[h] = static_cast<std::uint16_t>(representable);
  }
  for (std::size_t h = tracks.size(); h-- > 0;) {
    if (tracks[h].empty()) continue;
    if (k_record_area_header_size + k_record_header_size * lay.records_needed[h] + 1 >
        max_block_size) {
      result.fault = split_fault::too_many_tracks;
      result.track = h;
      return result;
    }
    break;
  }

  std::vector<planned_block> plan;
  // The size limit and the block limit, in that order (the names only look alike).
  // NOLINTNEXTLINE(readability-suspicious-call-argument)
  if (!lay.plan(max_block_size, k_max_block_count, plan)) {
    result.fault = split_fault::too_much_data;
    return result;
  }
  // The smallest limit that needs no more blocks: the blocks even out.
  const std::size_t block_count = plan.size();
  std::size_t low = 0;  // fails (or is untried)
  std::size_t high = max_block_size;
  std::vector<planned_block> trial;
  while (high - low > 1) {
    const std::size_t middle = low + (high - low) / 2;
    if (middle > k_stream_header_size + k_record_area_header_size &&
        lay.plan(middle, block_count, trial)) {
      high = middle;
      plan.swap(trial);
    } else {
      low = middle;
    }
  }

  for (std::size_t b = 0; b < plan.size(); ++b) {
    const planned_block& block = plan[b];
    std::vector<std::uint8_t> bytes;
    if (b == 0) {
      bytes.assign(k_stream_tag.begin(), k_stream_tag.end());
      bytes.insert(bytes.end(), header_fields.begin(), header_fields.end());
      bytes.resize(k_stream_header_size);  // and the two spare bytes
    }
    const auto count_bytes =
        record_count_bytes(static_cast<std::uint16_t>(block.records), track_count);
    assert(count_bytes.has_value());
    bytes.insert(bytes.end(), {0, 0, (*count_bytes)[0], (*count_bytes)[1]});
    for (std::size_t h = 0; h < block.records; ++h) {
      std::size_t begin = 0;
      std::size_t end = 0;
      if (h >= block.begin.track && h <= block.end.track && h < tracks.size()) {
        begin = h == block.begin.track ? block.begin.offset : 0;
        end = h == block.end.track ? block.end.offset : tracks[h].size();
      }
      append_be16(bytes, static_cast<std::uint32_t>(end - begin));
      bytes.insert(bytes.end(), tracks[h].begin() + static_cast<std::ptrdiff_t>(begin),
                   tracks[h].begin() + static_cast<std::ptrdiff_t>(end));
    }
    assert(bytes.size() <= max_block_size);
    result.blocks.push_back(std::move(bytes));
  }
  return result;
}

}  // namespace mthc
