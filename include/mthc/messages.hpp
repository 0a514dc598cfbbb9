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
//
// Beside each text, a machine name (error_name, change_name), for code that
// must tell faults apart without reading English:
//
//   if (mthc::error_name(u) == "missing_blocks") retry_download();
#pragma once

#include <cstddef>
#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/encode_block.hpp>
#include <mthc/export.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/track_reader.hpp>
#include <mthc/unpack.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mthc {

// ---- Packing ----

// Why a MIDI file was not packed.
MTHC_API std::string error_text(const pack_result& result) noexcept;

// Why encode_block returned no block.
MTHC_API std::string error_text(encode_error error) noexcept;

// What a successful pack says: a line per kind of change (with its count),
// one for the tracks without data, then the lines of packed_as_is_texts (in
// that order).
MTHC_API std::vector<std::string> warning_texts(const pack_result& result) noexcept;

// What was packed as it is although unpacking will refuse it: a line for a
// format other than 0, 1 and 2, and one for the first track that does not
// read. The front ends add how to get such a file back
// (unpack_options::as_is).
MTHC_API std::vector<std::string> packed_as_is_texts(const pack_result& result) noexcept;

// The parts of warning_texts: one change the reader made to a MIDI file;
// the tracks without data, which come back as a lone end-of-track event, on
// one line for any number of them (empty for none); a track's first fault
// and where it is.
MTHC_API std::string change_text(const midi_change& change) noexcept;
MTHC_API std::string empty_tracks_text(std::span<const std::size_t> tracks) noexcept;
MTHC_API std::string track_fault_text(const track_fault& fault) noexcept;

// ---- Reading ----

// Why a file cannot be read as a MIDI file.
MTHC_API std::string error_text(const midi_file& file) noexcept;

// Why a container's tags are not those of a container.
MTHC_API std::string error_text(container_fault fault) noexcept;

// Why a conversion failed.
MTHC_API std::string error_text(conversion_error error) noexcept;

// What is wrong with the blocks and records of a container that converted,
// the first problem in the order of the file; empty when nothing is.
MTHC_API std::string error_text(const container_check& check) noexcept;

// The warning for a container whose MIDI file comes out incomplete (missing
// or cut blocks, or a block of another size than it declares); empty when
// the blocks are complete.
MTHC_API std::string incomplete_container_text(const container_check& check) noexcept;

// ---- Unpacking and listing ----

// Why a container was refused.
MTHC_API std::string error_text(const unpack_result& result) noexcept;

// The fault of the music that unpack_options::as_is let through; empty when
// there is none.
MTHC_API std::string warning_text(const unpack_result& result) noexcept;

// Why a file could not be listed.
MTHC_API std::string error_text(const file_summary& summary) noexcept;

// ---- Machine names ----
//
// Every fault and every change has one name: lower-case words joined by '_'
// ("missing_blocks", "end_of_track_added"). The names are kept from one
// version to the next, whatever happens to the texts, so that the page's
// words and the Python module's `kind` can be keyed by them. A fault has the
// same name wherever it is found: a file that is not MIDI is "not_midi"
// whether packing or listing met it, a track without end-of-track is
// "missing_end_of_track" whether the reader or --strict refused it. The name
// of every `none` is "none"; no other value shares it.

MTHC_API std::string_view error_name(pack_error error) noexcept;
MTHC_API std::string_view error_name(midi_error error) noexcept;
MTHC_API std::string_view error_name(container_fault fault) noexcept;
MTHC_API std::string_view error_name(conversion_error error) noexcept;
MTHC_API std::string_view error_name(check_problem problem) noexcept;
MTHC_API std::string_view error_name(track_error error) noexcept;
MTHC_API std::string_view error_name(unpack_error error) noexcept;
MTHC_API std::string_view error_name(file_error error) noexcept;
MTHC_API std::string_view error_name(encode_error error) noexcept;
MTHC_API std::string_view change_name(midi_change_kind kind) noexcept;

// The name of the fault that error_text gives the words of, as exact as the
// result knows it: a container refused as damaged is "missing_blocks",
// "size_mismatch" or "stray_record"; one whose tags are wrong is
// "too_small", "not_mthc" or "missing_mthp_tag"; a MIDI header that unpacking
// refuses is "header_length" or "unknown_format". Empty for a success.
MTHC_API std::string_view error_name(const pack_result& result) noexcept;
MTHC_API std::string_view error_name(const unpack_result& result) noexcept;
MTHC_API std::string_view error_name(const file_summary& summary) noexcept;
MTHC_API std::string_view error_name(const container_check& check) noexcept;

// The name of what warning_text(result) says unpack_options::as_is let
// through; empty when it let nothing through.
MTHC_API std::string_view warning_name(const unpack_result& result) noexcept;

// What a successful pack warns of (warning_texts) is named by the same
// names: change_name for each change, then error_name(pack_error::empty_track)
// for the tracks without data, error_name(pack_error::unknown_format) and
// error_name(pack_error::track_unreadable) for what was packed as it is.

// The name of the refusal of a file larger than any container or any MIDI
// file a container holds, which the front ends refuse before the library
// reads it: "too_large".
MTHC_API std::string_view too_large_name() noexcept;

// ---- Places ----
//
// Where a fault or a change is, for code that points at it without reading
// English: the track (counted from 0, in file order) and the byte offset
// that its text names, each only when the text names one. An offset counts
// from the start of the file (of the container, for a container's tags),
// but for a track that does not read as events, where it counts from the
// start of that track's data, as the text says "track 2: ... at offset 7".
// A change that happened more than once is placed at its first.

struct fault_place {
  std::optional<std::size_t> track;
  std::optional<std::size_t> offset;
};

MTHC_API fault_place error_place(const pack_result& result) noexcept;
MTHC_API fault_place error_place(const unpack_result& result) noexcept;
MTHC_API fault_place error_place(const file_summary& summary) noexcept;
MTHC_API fault_place warning_place(const unpack_result& result) noexcept;
MTHC_API fault_place change_place(const midi_change& change) noexcept;
MTHC_API fault_place track_fault_place(const track_fault& fault) noexcept;

}  // namespace mthc
