// Packing a Standard MIDI File into a container: the inverse of the
// conversion, in memory.
//
//   mthc::pack_result p = mthc::pack_midi(midi_bytes, {mthc::encode_level::best});
//   if (p.error == mthc::pack_error::none) save(p.container);
//   for (const std::string& w : mthc::warning_texts(p)) warn(w);  // messages.hpp
//
// Packing a large file at the best level takes seconds; to show progress, do
// it a block at a time:
//
//   mthc::packer job = mthc::start_packing(midi_bytes, options);
//   while (mthc::continue_packing(job)) show(mthc::packing_progress(job));
//   mthc::pack_result p = mthc::finish_packing(std::move(job));
//
// Each call returns after one block, so the same loop serves an event loop or
// a worker without threads of its own; nothing calls back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mthc/encode_block.hpp>
#include <mthc/export.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/track_reader.hpp>
#include <optional>
#include <span>
#include <vector>

namespace mthc {

// The most track data a container holds: 255 blocks of 65535 bytes, less the
// stream's 16-byte header, and each block's 4-byte record area header and
// 2-byte record header, for a single track whose data compresses. More
// tracks (a record header each per block) or data that does not compress
// (smaller blocks) hold less.
inline constexpr std::size_t k_max_track_data =
    std::size_t{255} * k_max_block_size - 16 - std::size_t{255} * (4 + 2);

// The highest track (counted from 0) that can hold data at all: its block
// must also carry a 2-byte record for every track before it, beside the
// record area's 4-byte header and at least one byte of data.
inline constexpr std::size_t k_max_track_with_data = (k_max_block_size - 4 - 1) / 2 - 1;

enum class pack_error {
  none,
  // Neither "MThd" nor a RIFF "RMID" file at the start; or a RIFF file
  // without a "data" chunk that begins with "MThd".
  not_midi,
  header_too_short,  // the "MThd" chunk at `offset` has the length `value`, less than 6
  chunk_past_end,    // the "MThd" chunk runs past the end
  // Track `value` holds data beyond the reach of a block; or the file has
  // `chunk_count` "MTrk" chunks, more than a 16-bit track count holds (and
  // `value` is 65535, the first track beyond it).
  too_many_tracks,
  too_much_data,  // the `value` bytes of track data do not fit 255 blocks
  out_of_memory,
  // With pack_options::strict, each change that the conversion would not
  // give back (see midi_change_kind in midi_file.hpp) is an error instead,
  // with the details of the first change in file order; then a track
  // without data, then the music that unpacking refuses (which lenient
  // packing packs as it is). The errors above come first: they stop lenient
  // packing too.
  riff_wrapper,          // the file is a RIFF "RMID" file; the MIDI file is at `offset`
  header_length,         // the "MThd" chunk's length is `value`, more than 6
  foreign_chunk,         // the chunk at `offset`, tagged `tag`, `value` bytes, is not "MTrk"
  trailing_bytes,        // `value` bytes at `offset` follow the last chunk
  track_count_mismatch,  // the header declares `value` tracks, the file has `chunk_count`
  // Track `track` (as midi_change_kind names them, with `offset` and
  // `value` as there): has no end-of-track event; has `value` bytes after
  // it; has it cut short; ends inside an event; is cut short by the end of
  // the file.
  missing_end_of_track,
  bytes_after_end_of_track,
  end_of_track_cut_short,
  event_cut_short,
  track_cut_by_end_of_file,
  empty_track,       // track `track` has no data (it would come back as 00 FF 2F 00)
  unknown_format,    // the header's format, `value`, is not 0, 1 or 2
  track_unreadable,  // `unreadable_track` names the track and its fault
  // Not a fault of the file: the block encoder's checks of its own work
  // failed (encode_error::internal_error), a bug; nothing is packed. Last,
  // so that the errors above keep their values.
  internal_error,
};

struct pack_options {
  encode_level level = encode_level::best;
  // Refuse every file that would not come back from unpack_container
  // (unpack.hpp) byte for byte, rather than change it or pack what that
  // refuses: a file packs with strict exactly when unpacking its container
  // gives the file back as it is.
  bool strict = false;
};

struct pack_result {
  pack_error error = pack_error::none;
  // Details of the error, as its comment names them.
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;
  std::array<char, 4> tag{};
  std::size_t track = 0;
  // What was changed: each kind once, with its count, in file order (none
  // with strict).
  std::vector<midi_change> changes;
  // Tracks without data. The conversion gives such a track back as the
  // 4-byte end-of-track event 00 FF 2F 00, not empty.
  std::vector<std::size_t> empty_tracks;
  // What unpacking refuses (unpack_error::midi_header_unreadable and
  // track_unreadable), which lenient packing packs as it is, since a player
  // does not get past it either: a format other than 0, 1 and 2; the first
  // track that does not read as MIDI events to its end-of-track after the
  // repairs of the reader (an undefined status byte, say). A check of the
  // container (unpack.hpp) finds the same fault, and
  // unpack_options::as_is gets the file back.
  std::optional<std::uint16_t> unknown_format;
  std::optional<track_fault> unreadable_track;
  // Once the file has been read (also when it then does not fit): the tracks
  // packed, and their bytes of data in all.
  std::size_t track_count = 0;
  std::size_t track_data_size = 0;
  std::size_t block_count = 0;
  std::vector<std::uint8_t> container;  // empty unless error is none
};

// Reads the MIDI file, lays its tracks out in blocks, compresses them and
// builds the container. Converting the container back gives `smf` byte for
// byte, but for the changes listed and the tracks in `empty_tracks`.
//
// The tracks are laid out one after another in nearly equal blocks of at most
// 65535 bytes, as few as they need. Every file whose tracks fit 255 blocks is
// packed: a block whose packed bytes would not fit their 16-bit size (data
// that do not compress) is made smaller, alone, as large as still fits, and
// the blocks after it are laid out again. Never throws.
MTHC_API pack_result pack_midi(std::span<const std::uint8_t> smf,
                               const pack_options& options = {}) noexcept;

// ---- The same, a block at a time ----

struct packer_state;
struct MTHC_API packer_state_deleter {
  void operator()(packer_state* state) const noexcept;
};
// One packing in progress. It views the MIDI file given to start_packing,
// which must outlive it. A null packer is one whose state could not be
// allocated: finish_packing reports out_of_memory for it.
using packer = std::unique_ptr<packer_state, packer_state_deleter>;

struct pack_progress {
  // Bytes of the decoded stream compressed so far.
  std::size_t done = 0;
  // Bytes of the decoded stream in all, as laid out (0 when the file could
  // not be read or laid out). It may change by a few bytes when a block is
  // made smaller and the blocks after it are laid out again (each block
  // carries its own record headers).
  std::size_t total = 0;
};

// Reads the MIDI file and lays out its blocks; nothing is compressed yet. A
// file that cannot be packed ends the packing here: finish_packing then
// returns the error.
MTHC_API packer start_packing(std::span<const std::uint8_t> smf,
                              const pack_options& options) noexcept;

// Compresses the next block (a block made smaller may take a few tries).
// Returns true while blocks remain; false once packing has ended, done or
// failed, and on every call after that.
MTHC_API bool continue_packing(packer& job) noexcept;

MTHC_API pack_progress packing_progress(const packer& job) noexcept;

// Finishes what is left and returns the result, as pack_midi does.
MTHC_API pack_result finish_packing(packer job) noexcept;

}  // namespace mthc
