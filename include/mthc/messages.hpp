// The words for every result: the texts that the tools print after
// "Error: " or "Warning: " (and, in mthc-pack, the file's name), so that
// every front end says the same thing.
//
//   mthc::pack_result p = mthc::pack_midi(bytes);
//   if (p.error != mthc::pack_error::none) fail(mthc::error_text(p));
//   for (const std::string& w : mthc::warning_texts(p)) warn(w);
//
// Each text is one line without its prefix and without a newline; the texts
// of errors are empty for a success. The front ends add their own pointers to
// what to do next. Running out of memory while the text is made gives the
// text "out of memory" (or no warnings at all); nothing throws.
#pragma once

#include <cstddef>
#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/track_reader.hpp>
#include <mthc/unpack.hpp>
#include <span>
#include <string>
#include <vector>

namespace mthc {

// ---- Packing ----

// Why a MIDI file was not packed.
std::string error_text(const pack_result& result) noexcept;

// Why encode_block returned no block.
std::string error_text(encode_error error) noexcept;

// What a successful pack says: a line per kind of change (with its count),
// one for the tracks without data, then the lines of packed_as_is_texts (in
// that order).
std::vector<std::string> warning_texts(const pack_result& result) noexcept;

// What was packed as it is although unpacking will refuse it: a line for a
// format other than 0, 1 and 2, and one for the first track that does not
// read. The front ends add how to get such a file back
// (unpack_options::as_is).
std::vector<std::string> packed_as_is_texts(const pack_result& result) noexcept;

// The parts of warning_texts: one change the reader made to a MIDI file;
// the tracks without data, which come back as a lone end-of-track event, on
// one line for any number of them (empty for none); a track's first fault
// and where it is.
std::string change_text(const midi_change& change) noexcept;
std::string empty_tracks_text(std::span<const std::size_t> tracks) noexcept;
std::string track_fault_text(const track_fault& fault) noexcept;

// ---- Reading ----

// Why a file cannot be read as a MIDI file.
std::string error_text(const midi_file& file) noexcept;

// Why a container's tags are not those of a container.
std::string error_text(container_fault fault) noexcept;

// Why a conversion failed.
std::string error_text(conversion_error error) noexcept;

// What is wrong with the blocks and records of a container that converted,
// the first problem in the order of the file; empty when nothing is.
std::string error_text(const container_check& check) noexcept;

// The warning for a container whose MIDI file comes out incomplete (missing
// or cut blocks, or a block of another size than it declares); empty when
// the blocks are complete.
std::string incomplete_container_text(const container_check& check) noexcept;

// ---- Unpacking and listing ----

// Why a container was refused.
std::string error_text(const unpack_result& result) noexcept;

// The fault of the music that unpack_options::as_is let through; empty when
// there is none.
std::string warning_text(const unpack_result& result) noexcept;

// Why a file could not be listed.
std::string error_text(const file_summary& summary) noexcept;

}  // namespace mthc
