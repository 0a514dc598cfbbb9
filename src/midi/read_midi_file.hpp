// Reading a Standard MIDI File; the contract is in the public header. Here:
// what the packer needs beside it.
#pragma once

#include <array>
#include <cstdint>
#include <mthc/midi_file.hpp>
#include <mthc/pack_midi.hpp>

namespace mthc::midi {

// The packer's error for a reader's error (the details carry over as they
// are).
pack_error pack_error_of(midi_error error) noexcept;

// The decoded stream's header fields of a file with `header`: the MIDI
// header's length (6), format, track count and division, as the MIDI file
// written back will hold them.
std::array<std::uint8_t, 10> header_fields_of(const midi_header& header) noexcept;

}  // namespace mthc::midi
