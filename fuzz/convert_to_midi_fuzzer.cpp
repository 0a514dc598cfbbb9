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
#include <mthc/convert_to_midi.hpp>
#include <span>

#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace mthc::format;

void check_midi_file(std::span<const std::uint8_t> file) {
  MTHC_FUZZ_CHECK(file.size() >= k_midi_header_size);
  MTHC_FUZZ_CHECK(has_tag(file, 0, k_midi_header_tag));
  const std::size_t track_count = read_be16(file.data() + k_midi_track_count_offset);
  std::size_t position = k_midi_header_size;
  for (std::size_t t = 0; t < track_count; ++t) {
    MTHC_FUZZ_CHECK(file.size() - position >= k_chunk_header_size);
    MTHC_FUZZ_CHECK(has_tag(file, position, k_track_tag));
    const std::uint32_t length = read_be32(file.data() + position + k_track_tag.size());
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
    case mthc::conversion_error::stream_too_large:
    case mthc::conversion_error::stream_invalid:
    case mthc::conversion_error::tracks_too_large:
    case mthc::conversion_error::out_of_memory:
      MTHC_FUZZ_CHECK(result.midi_file.length == 0);
      break;
  }
  return 0;
}
