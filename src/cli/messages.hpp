// The texts of the packer's warnings and errors, and of what a check finds
// wrong with a container: one place for the words, so that every front end
// says the same thing. Each function returns the text without the "Error: "
// or "Warning: " prefix and without a newline; nothing here prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <span>
#include <string>

#include "container/check_container.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/track_reader.hpp"

namespace mthc {

// The largest file the front ends read: more than any container and any
// MIDI file that a container can hold (some 17 MB), so that such a file is
// refused with the limit it exceeds, after its header has been read, rather
// than unread.
inline constexpr std::int64_t k_max_input_size = std::int64_t{64} << 20;

// Why a file larger than k_max_input_size is not read.
std::string input_too_large_text();

// Why a MIDI file was not packed.
std::string pack_error_text(const pack_result& result);

// Why a file cannot be read as a MIDI file.
std::string midi_fault_text(const midi_read_result& result);

// What is wrong with the header of a MIDI file that a conversion assembled
// (the header fields come from the container as they are): a length other
// than 6, which no reader can follow, or a format other than 0, 1 and 2.
// Empty when nothing is.
std::string midi_header_text(std::span<const std::uint8_t> midi);

// The first fault of track `track`, and where it is.
std::string track_fault_text(std::size_t track, const track_check& check);

// One change the packer made to a MIDI file that bends the rules.
std::string midi_change_text(const midi_change& change);

// The tracks without data, which come back as a lone end-of-track event:
// one line for any number of them.
std::string empty_tracks_text(std::span<const std::size_t> tracks);

// Why a container's tags are not those of a container.
std::string container_fault_text(container_fault fault);

// Why a conversion failed.
std::string conversion_error_text(const conversion_result& result);

// What is wrong with the blocks and records of a container that converted;
// empty when nothing is.
std::string container_check_text(const container_check& check);

// The report tool's warning for a container whose MIDI file comes out
// incomplete (missing or cut blocks, or a block of another size than it
// declares); empty when the blocks are complete.
std::string incomplete_container_text(const container_check& check);

}  // namespace mthc
