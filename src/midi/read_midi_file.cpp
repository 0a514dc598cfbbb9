#include "midi/read_midi_file.hpp"

#include <cstring>

namespace mthc {

namespace {

constexpr std::size_t k_chunk_header_size = 8;
constexpr std::uint32_t k_header_length = 6;

std::uint32_t read_be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

midi_read_result read_midi_file(std::span<const std::uint8_t> bytes) {
  midi_read_result result;
  if (bytes.size() < k_chunk_header_size || std::memcmp(bytes.data(), "MThd", 4) != 0) {
    result.fault = midi_fault::not_midi;
    return result;
  }
  const std::uint32_t header_length = read_be32(bytes.data() + 4);
  if (header_length != k_header_length) {
    result.fault = midi_fault::header_length;
    result.value = header_length;
    return result;
  }
  if (bytes.size() < k_chunk_header_size + k_header_length) {
    result.fault = midi_fault::chunk_past_end;
    return result;
  }
  std::memcpy(result.file.header_fields.data(), bytes.data() + 4, 10);
  const std::uint32_t declared = static_cast<std::uint32_t>(bytes[10]) << 8 | bytes[11];

  std::size_t offset = k_chunk_header_size + k_header_length;
  while (offset < bytes.size()) {
    const std::size_t left = bytes.size() - offset;
    if (left < k_chunk_header_size ||
        read_be32(bytes.data() + offset + 4) > left - k_chunk_header_size) {
      result.fault = midi_fault::chunk_past_end;
      result.offset = offset;
      return result;
    }
    const std::uint32_t length = read_be32(bytes.data() + offset + 4);
    if (std::memcmp(bytes.data() + offset, "MTrk", 4) != 0) {
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
