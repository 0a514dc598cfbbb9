#include "midi/read_midi_file.hpp"

#include <cstring>
#include <memory>
#include <new>

#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "midi/repair_track.hpp"

namespace mthc {

namespace {

using namespace format;

// Where the MIDI file lies in its RIFF wrapper.
struct embedded_file {
  bool found = false;
  std::size_t offset = 0;
  std::size_t size = 0;
};

// The data of the first "data" chunk of a RIFF "RMID" file, when it begins
// with "MThd". The RIFF size is not trusted (writers get it wrong), only the
// chunks as far as the file holds them; data cut short by the end of the file
// is taken as far as it goes, so that a track cut short is named as such.
embedded_file find_rmid_data(std::span<const std::uint8_t> bytes) {
  embedded_file file;
  if (!has_tag(bytes, k_rmid_form_offset, k_rmid_form_tag)) return file;
  std::size_t offset = k_riff_header_size;
  while (bytes.size() - offset >= k_riff_chunk_header_size) {
    const std::size_t size = read_le32(bytes.data() + offset + k_riff_data_tag.size());
    const std::size_t data = offset + k_riff_chunk_header_size;
    const std::size_t left = bytes.size() - data;
    if (has_tag(bytes, offset, k_riff_data_tag)) {
      file.offset = data;
      file.size = size < left ? size : left;
      file.found = has_tag(bytes.subspan(data, file.size), 0, k_midi_header_tag);
      return file;
    }
    if (size >= left) return file;
    // Data of odd size is followed by a padding byte.
    offset = data + size + (size & 1U);
  }
  return file;
}

// Chunk tags are four printable ASCII characters; anything else after the
// last chunk is not a chunk but trailing bytes.
bool is_chunk_tag(const std::uint8_t* p) {
  for (std::size_t i = 0; i < k_track_tag.size(); ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

// The changes of a file, each kind once with its count, in the order of
// its first occurrence: a file of millions of foreign chunks makes one entry.
void note_change(std::vector<midi_change>& changes, const midi_change& change) {
  for (midi_change& noted : changes) {
    if (noted.kind == change.kind) {
      ++noted.count;
      return;
    }
  }
  changes.push_back(change);
}

// A track to repair: which, and how.
struct planned_repair {
  std::size_t track = 0;
  std::span<const std::uint8_t> data;  // as the file holds it
  midi::track_repair repair;
};

// Notes the repair of track `track`, whose chunk is at `chunk_offset` in the
// file, if it needs one; `cut` is the number of bytes of its data that the
// file lacks (0 for a whole chunk).
void plan_repair(std::span<const std::uint8_t> data, std::size_t track, std::size_t chunk_offset,
                 std::size_t cut, std::vector<midi_change>& changes,
                 std::vector<planned_repair>& repairs) {
  // A whole chunk without data stays empty (the conversion writes such a
  // track as an end-of-track event); data cut to nothing gets one.
  const midi::track_repair repair =
      data.empty() && cut == 0 ? midi::track_repair{} : midi::plan_track_repair(data);
  if (cut != 0) {
    note_change(changes,
                {midi_change_kind::track_cut_by_end_of_file, chunk_offset, cut, 0, {}, track, 1});
  } else if (repair.needed) {
    note_change(changes, {repair.kind,
                          chunk_offset + k_chunk_header_size + repair.offset,
                          repair.value,
                          0,
                          {},
                          track,
                          1});
  }
  if (repair.needed) repairs.push_back({track, data, repair});
}

// Copies the repaired tracks into one buffer and points their views at it.
void apply_repairs(const std::vector<planned_repair>& repairs, midi_file& result) {
  std::size_t total = 0;
  for (const planned_repair& r : repairs)
    total += r.repair.size();
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(total);
  std::size_t at = 0;
  for (const planned_repair& r : repairs) {
    midi::write_repaired_track(r.data, r.repair, bytes->data() + at);
    result.tracks[r.track] = std::span<const std::uint8_t>(bytes->data() + at, r.repair.size());
    at += r.repair.size();
  }
  result.repaired_tracks = std::move(bytes);
}

// Throws std::bad_alloc.
midi_file read_file(std::span<const std::uint8_t> bytes, const midi_read_options& options) {
  midi_file result;
  // Offsets below are in `smf`; `base` turns them into offsets in `bytes`.
  std::span<const std::uint8_t> smf = bytes;
  std::size_t base = 0;
  if (has_tag(bytes, 0, k_riff_tag)) {
    const embedded_file inner = find_rmid_data(bytes);
    if (!inner.found) {
      result.error = midi_error::not_midi;
      return result;
    }
    base = inner.offset;
    smf = bytes.subspan(inner.offset, inner.size);
    result.changes.push_back({midi_change_kind::riff_unwrapped, inner.offset, inner.size, 0, {}});
  }
  if (smf.size() < k_chunk_header_size || !has_tag(smf, 0, k_midi_header_tag)) {
    result.error = midi_error::not_midi;
    return result;
  }
  const std::size_t header_length = read_be32(smf.data() + k_midi_header_tag.size());
  if (header_length < k_midi_header_length) {
    result.error = midi_error::header_too_short;
    result.offset = base;
    result.value = header_length;
    return result;
  }
  if (header_length > smf.size() - k_chunk_header_size) {
    result.error = midi_error::chunk_past_end;
    result.offset = base;
    return result;
  }
  result.header.format = read_be16(smf.data() + k_midi_format_offset);
  result.header.division = read_be16(smf.data() + k_midi_division_offset);
  const std::size_t declared = read_be16(smf.data() + k_midi_track_count_offset);

  // The chunks' changes come after those of the header, which are known
  // only once the chunks have been counted.
  std::vector<midi_change> chunk_changes;
  std::vector<planned_repair> repairs;
  // Chunks beyond the most a header counts are counted, not kept.
  std::size_t chunk_count = 0;
  std::size_t offset = k_chunk_header_size + header_length;
  while (offset < smf.size()) {
    const std::size_t left = smf.size() - offset;
    const std::uint8_t* chunk = smf.data() + offset;
    const std::size_t length =
        left < k_chunk_header_size ? 0 : read_be32(chunk + k_track_tag.size());
    const bool fits = left >= k_chunk_header_size && length <= left - k_chunk_header_size;
    if (left >= k_chunk_header_size && has_tag(smf, offset, k_track_tag)) {
      if (!fits && !options.repair_tracks) {
        result.error = midi_error::chunk_past_end;
        result.offset = base + offset;
        return result;
      }
      // A chunk cut short by the end of the file is the last one.
      const std::size_t present = fits ? length : left - k_chunk_header_size;
      if (++chunk_count <= k_max_track_count) {
        const std::span<const std::uint8_t> data =
            smf.subspan(offset + k_chunk_header_size, present);
        result.tracks.push_back(data);
        if (options.repair_tracks) {
          plan_repair(data, result.tracks.size() - 1, base + offset, length - present,
                      chunk_changes, repairs);
        }
      }
      if (!fits) break;
    } else if (fits && is_chunk_tag(chunk)) {
      midi_change dropped{midi_change_kind::chunk_dropped, base + offset, length, 0, {}};
      std::memcpy(dropped.tag.data(), chunk, dropped.tag.size());
      note_change(chunk_changes, dropped);
    } else {
      chunk_changes.push_back(
          {midi_change_kind::trailing_bytes_ignored, base + offset, left, 0, {}});
      break;
    }
    offset += k_chunk_header_size + length;
  }

  if (chunk_count > k_max_track_count) {
    result.error = midi_error::too_many_tracks;
    result.chunk_count = chunk_count;
    result.tracks.clear();
    return result;
  }
  if (chunk_count != declared) {
    result.changes.push_back({midi_change_kind::track_count_corrected,
                              base + k_midi_track_count_offset,
                              declared,
                              chunk_count,
                              {}});
  }
  result.header.track_count = static_cast<std::uint16_t>(chunk_count);
  if (header_length > k_midi_header_length) {
    result.changes.push_back({midi_change_kind::header_bytes_dropped,
                              base + k_midi_header_size,
                              header_length - k_midi_header_length,
                              0,
                              {}});
  }
  result.changes.insert(result.changes.end(), chunk_changes.begin(), chunk_changes.end());
  if (!repairs.empty()) apply_repairs(repairs, result);
  return result;
}

}  // namespace

midi_file read_midi_file(std::span<const std::uint8_t> bytes,
                         const midi_read_options& options) noexcept {
  try {
    return read_file(bytes, options);
  } catch (const std::bad_alloc&) {
    midi_file failed;
    failed.error = midi_error::out_of_memory;
    return failed;
  }
}

pack_error midi::pack_error_of(midi_error error) noexcept {
  switch (error) {
    case midi_error::none:
      return pack_error::none;
    case midi_error::not_midi:
      return pack_error::not_midi;
    case midi_error::header_too_short:
      return pack_error::header_too_short;
    case midi_error::chunk_past_end:
      return pack_error::chunk_past_end;
    case midi_error::too_many_tracks:
      return pack_error::too_many_tracks;
    case midi_error::out_of_memory:
      return pack_error::out_of_memory;
  }
  return pack_error::not_midi;
}

std::array<std::uint8_t, 10> midi::header_fields_of(const midi_header& header) noexcept {
  std::array<std::uint8_t, 10> fields{};
  write_be32(fields.data(), k_midi_header_length);
  write_be16(fields.data() + 4, header.format);
  write_be16(fields.data() + 6, header.track_count);
  write_be16(fields.data() + 8, header.division);
  return fields;
}

}  // namespace mthc
