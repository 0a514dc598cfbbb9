// What `mthc-pack -l` shows of a file: a container (its blocks, its sizes
// and the MIDI file it converts to) or a MIDI file, its header and, with
// `-v`, its music.
//
//   mthc::file_summary s = mthc::summarize_file(bytes);
//   if (s.error == mthc::file_error::none) show(s.header.track_count, s.music.duration_seconds);
//   else say(mthc::error_text(s));  // messages.hpp
//
// A container is read as the conversion reads it, without the checks of
// unpack_container: a listing shows what there is, and `check` says what is
// wrong with the blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/export.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_music.hpp>
#include <span>

namespace mthc {

enum class file_kind { container, midi };

enum class file_error {
  none,
  // The file starts with "MThc" but its tags are not those of a container
  // (`container` says how).
  not_a_container,
  conversion_failed,  // `conversion` says why
  // The file is no MIDI file the reader takes (`midi`, with the details in
  // `offset`, `value` and `chunk_count`, as midi_file has them).
  not_midi,
  out_of_memory,
};

struct file_summary {
  file_error error = file_error::none;
  container_fault container = container_fault::none;
  conversion_error conversion = conversion_error::none;
  midi_error midi = midi_error::none;
  std::size_t offset = 0;
  std::size_t value = 0;
  std::size_t chunk_count = 0;

  // A file that starts with "MThc" is a container; any other is taken as a
  // MIDI file.
  file_kind kind = file_kind::midi;
  // Containers only: the blocks declared, the container's size, and what
  // the blocks and records showed.
  std::size_t blocks = 0;
  std::size_t packed_bytes = 0;
  container_check check;
  // The MIDI file (a container's, as it converts): its size and header.
  std::size_t midi_bytes = 0;
  midi_header header;
  // With music: every track read (see summarize_music.hpp).
  music_summary music;
};

// Reads the file, and with `music` its tracks' events too. Never throws.
MTHC_API file_summary summarize_file(std::span<const std::uint8_t> data,
                                     bool music = true) noexcept;

}  // namespace mthc
