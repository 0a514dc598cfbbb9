// The mthc library: MThc containers to Standard MIDI Files and back, in
// memory. Nothing here prints or touches a file, and nothing throws: every
// function that can fail returns a result whose `error` is `none` on success,
// with `out_of_memory` apart from the errors that blame the input.
//
//   mthc::conversion_result r = mthc::convert_to_midi(container_bytes);
//   if (r.error == mthc::conversion_error::none) save(r.midi_file.used());
//
//   mthc::pack_result p = mthc::pack_midi(midi_bytes);
//   if (p.error == mthc::pack_error::none) save(p.container);
//
// The formats are described in docs/format.md.
#pragma once

#include <mthc/byte_buffer.hpp>
#include <mthc/container.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/decode_block.hpp>
#include <mthc/encode_block.hpp>
#include <mthc/list_notes.hpp>
#include <mthc/messages.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <mthc/unpack.hpp>
#include <mthc/version.hpp>
