#include "midi/pack_midi.hpp"

#include <cassert>
#include <cstring>
#include <new>

#include "container/write_container.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

namespace {

pack_fault from_midi_fault(midi_fault fault) {
  switch (fault) {
    case midi_fault::none:
      return pack_fault::none;
    case midi_fault::not_midi:
      return pack_fault::not_midi;
    case midi_fault::header_length:
      return pack_fault::header_length;
    case midi_fault::chunk_past_end:
      return pack_fault::chunk_past_end;
    case midi_fault::foreign_chunk:
      return pack_fault::foreign_chunk;
    case midi_fault::track_count_mismatch:
      return pack_fault::track_count_mismatch;
  }
  return pack_fault::not_midi;
}

void pack(std::span<const std::uint8_t> smf, encode_level level, pack_result& result) {
  const midi_read_result read = read_midi_file(smf);
  if (read.fault != midi_fault::none) {
    result.fault = from_midi_fault(read.fault);
    result.offset = read.offset;
    result.value = read.value;
    result.chunk_count = read.chunk_count;
    result.tag = read.tag;
    return;
  }
  const auto& tracks = read.file.tracks;
  for (std::size_t h = 0; h < tracks.size(); ++h) {
    if (tracks[h].empty()) result.empty_tracks.push_back(h);
  }

  // Full-size blocks first; only if one of them does not compress into its
  // 16-bit packed size, again with blocks small enough to always fit.
  for (const std::size_t limit : {k_max_block_size, k_always_fitting_block_size}) {
    split_result split = split_tracks(read.file.header_fields, tracks, limit);
    if (split.fault == split_fault::too_many_tracks) {
      result.fault = pack_fault::too_many_tracks;
      result.value = split.track;
      return;
    }
    if (split.fault == split_fault::too_much_data) {
      result.fault = pack_fault::too_much_data;
      return;
    }
    result.container = write_container(split.blocks, level);
    if (!result.container.empty()) {
      result.block_count = split.blocks.size();
      // Block 0 starts with four literals behind its first flag byte, so the
      // stream's "MThp" tag shows at container offset 10, where readers of
      // the container header look for it.
      assert(result.container.size() >= 16 &&
             std::memcmp(result.container.data() + 10, "MThp", 4) == 0);
      return;
    }
  }
  result.fault = pack_fault::too_much_data;  // not reached: small blocks always fit
}

}  // namespace

pack_result pack_midi(std::span<const std::uint8_t> smf, encode_level level) noexcept {
  pack_result result;
  try {
    pack(smf, level, result);
  } catch (const std::bad_alloc&) {
    result = pack_result{};
    result.fault = pack_fault::out_of_memory;
  }
  if (result.fault != pack_fault::none) result.container.clear();
  return result;
}

}  // namespace mthc
