// Fuzz target for the in-memory conversion of a container image.
//
// Input: the container image itself (no prefix), so seed containers are the
// very files the tool reads.
//
// Checks: a conversion never throws or crashes, reports one of its two
// errors or succeeds, and a success is a structurally sound Standard MIDI
// File: "MThd" and ten header bytes, then exactly the declared number of
// "MTrk" chunks, none of them empty, whose sizes add up to the file
// size. A failure hands back no bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "fuzz_check.hpp"
#include "midi/convert_to_midi.hpp"

namespace {

constexpr std::size_t k_header_size = 14;
constexpr std::size_t k_chunk_header_size = 8;

std::uint32_t read_be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void check_midi_file(std::span<const std::uint8_t> file) {
  MTHC_FUZZ_CHECK(file.size() >= k_header_size);
  MTHC_FUZZ_CHECK(std::memcmp(file.data(), "MThd", 4) == 0);
  const std::size_t track_count = static_cast<std::size_t>(file[10]) << 8 | file[11];
  std::size_t position = k_header_size;
  for (std::size_t t = 0; t < track_count; ++t) {
    MTHC_FUZZ_CHECK(file.size() - position >= k_chunk_header_size);
    MTHC_FUZZ_CHECK(std::memcmp(file.data() + position, "MTrk", 4) == 0);
    const std::uint32_t length = read_be32(file.data() + position + 4);
    // A track without data is written as a lone end-of-track event, so no
    // chunk is empty.
    MTHC_FUZZ_CHECK(length != 0);
    position += k_chunk_header_size;
    MTHC_FUZZ_CHECK(file.size() - position >= length);
    position += length;
  }
  MTHC_FUZZ_CHECK(position == file.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const mthc::conversion_result result = mthc::convert_to_midi(std::span(data, size));
  switch (result.error) {
    case mthc::conversion_error::none:
      check_midi_file(result.midi_file.used());
      break;
    case mthc::conversion_error::decompress_failed:
    case mthc::conversion_error::assemble_failed:
      MTHC_FUZZ_CHECK(result.midi_file.length == 0);
      break;
  }
  return 0;
}
