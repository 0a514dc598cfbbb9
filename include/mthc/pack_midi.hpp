// Packing a Standard MIDI File into a container: the inverse of the
// conversion, in memory.
//
//   mthc::pack_result p = mthc::pack_midi(midi_bytes, {mthc::encode_level::best});
//   if (p.error == mthc::pack_error::none) save(p.container);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/encode_block.hpp>
#include <span>
#include <vector>

namespace mthc {

enum class pack_error {
  none,
  not_midi,              // no "MThd" chunk at the start
  header_length,         // "MThd" length `value`, not 6
  chunk_past_end,        // the chunk at `offset` runs past the end of the file
  foreign_chunk,         // the chunk at `offset`, tagged `tag`, is not "MTrk"
  track_count_mismatch,  // the header declares `value` tracks, the file has `chunk_count`
  too_many_tracks,       // track `value` holds data beyond the reach of a block
  too_much_data,         // more than 255 blocks would be needed
  out_of_memory,
};

struct pack_options {
  encode_level level = encode_level::best;
};

struct pack_result {
  pack_error error = pack_error::none;
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;
  std::array<char, 4> tag{};
  // Tracks without data. The conversion gives such a track back as the
  // 4-byte end-of-track event 00 FF 2F 00, not empty: the one way in which
  // a packed file does not come back byte for byte.
  std::vector<std::size_t> empty_tracks;
  std::size_t block_count = 0;
  std::vector<std::uint8_t> container;  // empty unless error is none
};

// Reads the MIDI file, lays its tracks out in blocks, compresses them and
// builds the container. Converting the container back gives `smf` byte for
// byte, except for the tracks listed in `empty_tracks`. Never throws.
pack_result pack_midi(std::span<const std::uint8_t> smf, const pack_options& options = {}) noexcept;

}  // namespace mthc
