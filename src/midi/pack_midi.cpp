#include "midi/pack_midi.hpp"

#include <cassert>
#include <new>

#include "container/write_container.hpp"
#include "format/format.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

namespace {

pack_error from_midi_fault(midi_fault fault) {
  switch (fault) {
    case midi_fault::none:
      return pack_error::none;
    case midi_fault::not_midi:
      return pack_error::not_midi;
    case midi_fault::header_length:
      return pack_error::header_length;
    case midi_fault::chunk_past_end:
      return pack_error::chunk_past_end;
    case midi_fault::foreign_chunk:
      return pack_error::foreign_chunk;
    case midi_fault::track_count_mismatch:
      return pack_error::track_count_mismatch;
  }
  return pack_error::not_midi;
}

void pack(std::span<const std::uint8_t> smf, encode_level level, pack_result& result) {
  const midi_read_result read = read_midi_file(smf);
  if (read.fault != midi_fault::none) {
    result.error = from_midi_fault(read.fault);
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
      result.error = pack_error::too_many_tracks;
      result.value = split.track;
      return;
    }
    if (split.fault == split_fault::too_much_data) {
      result.error = pack_error::too_much_data;
      return;
    }
    result.container = write_container(split.blocks, level);
    if (!result.container.empty()) {
      result.block_count = split.blocks.size();
      // Block 0 starts with four literals behind its first flag byte, so the
      // stream's "MThp" tag shows at container offset 10, where readers of
      // the container header look for it.
      assert(format::has_tag(result.container, format::k_stream_tag_offset, format::k_stream_tag));
      return;
    }
  }
  result.error = pack_error::too_much_data;  // not reached: small blocks always fit
}

}  // namespace

pack_result pack_midi(std::span<const std::uint8_t> smf, const pack_options& options) noexcept {
  pack_result result;
  try {
    pack(smf, options.level, result);
  } catch (const std::bad_alloc&) {
    result = pack_result{};
    result.error = pack_error::out_of_memory;
  }
  if (result.error != pack_error::none) result.container.clear();
  return result;
}

}  // namespace mthc
