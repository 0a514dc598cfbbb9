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
  // What strict packing says: the error for the first change, or for what
  // else would not come back from unpacking byte for byte; none for a file
  // that does.
  pack_error strict;
  // What the container of lenient packing converts back to.
  bytes back;
};

// The variants of the format 1 file of `tracks` (at least one, each ending
// with an end-of-track event) at division 96: the file as it is; an RMID
// wrapper, trailing bytes of several kinds, chunks before and between the
// tracks, track counts too high and too low, longer headers, and all of
// these at once; tracks without an end-of-track event, with bytes after it
// or with it cut short, a track ending inside an event, the file cut inside
// its last track; and what is packed as it is: an empty track, an undefined
// status byte, format 3, a port prefix without data.
std::vector<midi_variant> real_world_variants(std::span<const bytes> tracks);

}  // namespace mthc::test
