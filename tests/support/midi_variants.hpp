// MIDI files as they come from the wild: a well-formed file bent in the ways
// that players accept, each with the changes that lenient packing announces
// for it and the error that strict packing gives. For the packer's tests and
// the fuzz seeds.
#pragma once

#include <mthc/pack_midi.hpp>
#include <span>
#include <string>
#include <vector>

#include "container_builder.hpp"

namespace mthc::test {

// A chunk: the tag, a big-endian 32-bit length and the data.
bytes chunk(const char* tag, std::span<const std::uint8_t> data);

// A RIFF "RMID" file holding `smf`: a "LIST" chunk of odd size (and its
// padding byte), then `smf` as the "data" chunk. The MIDI file starts at
// k_rmid_data_offset.
bytes rmid_file(std::span<const std::uint8_t> smf);
inline constexpr std::size_t k_rmid_data_offset = 34;

struct midi_variant {
  std::string name;
  bytes file;
  std::vector<midi_change> changes;  // in file order
  pack_error strict;                 // the error for the first change
};

// The variants of the format 1 file of `tracks` (at least one) at division
// 96: an RMID wrapper, trailing bytes of several kinds, chunks before and
// between the tracks, track counts too high and too low, longer headers, and
// all of these at once. Converting back, each gives the well-formed file.
std::vector<midi_variant> real_world_variants(std::span<const bytes> tracks);

}  // namespace mthc::test
