// Unpacking a container with everything checked that can be checked: what
// `mthc-pack -d` does, and what `mthc-pack -t` does without keeping the file.
//
//   mthc::unpack_result r = mthc::unpack_container(image);
//   if (r.error == mthc::unpack_error::none) save(r.midi_file.used());
//   else refuse(mthc::error_text(r));  // messages.hpp
//
// The format has no checksum, so the check reads the music too: damage inside
// the packed bytes that keeps every size right shows as a track that no
// longer reads as MIDI events, or not at all. convert_to_midi converts without
// any of these checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/byte_buffer.hpp>
#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/export.hpp>
#include <mthc/track_reader.hpp>
#include <span>

namespace mthc {

enum class unpack_error {
  none,
  not_a_container,  // the tags are not those of a container: `container` says how
  // The blocks or records are not sound (`check`): a declared block missing
  // or cut short, a block that decodes to another size than it declares, a
  // record outside its block or its track.
  damaged,
  // The conversion failed for a reason of the input (`conversion`).
  conversion_failed,
  // The MIDI file's header, which the container supplies as it is, is one no
  // reader follows: a length other than 6 (`header_length`) or a format above
  // 2 (`format`).
  midi_header_unreadable,
  // A track does not read as MIDI events to its end-of-track (`track`).
  track_unreadable,
  out_of_memory,
};

struct unpack_options {
  // Keep the MIDI file as the container stores it when its music does not
  // read (midi_header_unreadable, track_unreadable): the result is then a
  // success with `music_fault` set. A container whose blocks or records are
  // not sound is refused all the same.
  bool as_is = false;
};

struct unpack_result {
  unpack_error error = unpack_error::none;
  byte_buffer midi_file;  // the MIDI file when error is none, else empty

  container_fault container = container_fault::none;
  conversion_error conversion = conversion_error::none;
  // What the blocks and records showed (on success too, where it is sound).
  container_check check;
  // The music's first fault, midi_header_unreadable or track_unreadable, when
  // it is the error or when as_is let it through; none otherwise.
  unpack_error music_fault = unpack_error::none;
  std::uint32_t header_length = 0;
  std::uint16_t format = 0;
  track_fault track;
};

// Checks the tags, converts, checks the blocks and records, the MIDI header
// and every track, in that order, and stops at the first fault. Never throws.
MTHC_API unpack_result unpack_container(std::span<const std::uint8_t> image,
                                        const unpack_options& options = {}) noexcept;

}  // namespace mthc
