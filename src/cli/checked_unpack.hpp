// Unpacking a container with everything checked that can be checked, and
// the warnings of a pack: the steps that every front end takes (the
// command-line packer and the web page), in one place. Nothing here prints.
#pragma once

#include <cstdint>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <span>
#include <string>
#include <vector>

namespace mthc {

struct checked_unpack {
  conversion_result converted;
  // Why the container is refused; empty when its MIDI file may be used.
  std::string refusal;
  // The refusal is about the music (the blocks and records were sound):
  // converting the container as it is would give the MIDI file it holds.
  bool music_fault = false;
};

// The container's tags, the conversion, its blocks and records, the MIDI
// header, and every track read as MIDI events to its end-of-track. The
// format has no checksum: damage inside the packed bytes that keeps every
// size right shows in the music, or not at all.
checked_unpack unpack_checked(std::span<const std::uint8_t> image);

// The warnings of a successful pack of `smf`, one text each: the changes
// made to the file, its tracks without data, and the first track that does
// not read as MIDI events (packed as it is, the container's check will
// report it).
std::vector<std::string> pack_warnings(const pack_result& packed,
                                       std::span<const std::uint8_t> smf);

}  // namespace mthc
