#include "midi/read_midi_file.hpp"

#include <cstring>

#include "format/big_endian.hpp"
#include "format/format.hpp"

namespace mthc {

midi_read_result read_midi_file(std::span<const std::uint8_t> bytes) {
  using namespace format;
  midi_read_result result;
  if (bytes.size() < k_chunk_header_size || !has_tag(bytes, 0, k_midi_header_tag)) {
    result.fault = midi_fault::not_midi;
    return result;
  }
  const std::uint32_t header_length = read_be32(bytes.data() + k_midi_header_tag.size());
  if (header_length != k_midi_header_length) {
    result.fault = midi_fault::header_length;
    result.value = header_length;
    return result;
  }
  if (bytes.size() < k_midi_header_size) {
    result.fault = midi_fault::chunk_past_end;
    return result;
  }
  std::memcpy(result.file.header_fields.data(), bytes.data() + k_header_fields_offset,
              k_header_fields_size);
  const std::uint32_t declared = read_be16(bytes.data() + k_midi_track_count_offset);

  std::size_t offset = k_midi_header_size;
  while (offset < bytes.size()) {
    const std::size_t left = bytes.size() - offset;
    if (left < k_chunk_header_size ||
        read_be32(bytes.data() + offset + k_track_tag.size()) > left - k_chunk_header_size) {
      result.fault = midi_fault::chunk_past_end;
      result.offset = offset;
      return result;
    }
    const std::uint32_t length = read_be32(bytes.data() + offset + k_track_tag.size());
    if (!has_tag(bytes, offset, k_track_tag)) {
      result.fault = midi_fault::foreign_chunk;
      result.offset = offset;
      std::memcpy(result.tag.data(), bytes.data() + offset, 4);
      return result;
    }
    result.file.tracks.push_back(bytes.subspan(offset + k_chunk_header_size, length));
    offset += k_chunk_header_size + length;
  }
  if (result.file.tracks.size() != declared) {
    result.fault = midi_fault::track_count_mismatch;
    result.value = declared;
    result.chunk_count = result.file.tracks.size();
    result.file.tracks.clear();
  }
  return result;
}

}  // namespace mthc
