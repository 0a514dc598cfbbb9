// The mthc library: MThc containers to Standard MIDI Files and back, in
// memory. Nothing here prints or touches a file.
//
//   mthc::conversion_result r = mthc::convert_to_midi(container_bytes);
//   if (r.error == mthc::conversion_error::none) save(r.midi_file.used());
//
//   mthc::pack_result p = mthc::pack_midi(midi_bytes, mthc::encode_level::best);
//   if (p.fault == mthc::pack_fault::none) save(p.container);
#pragma once

#include <mthc/byte_buffer.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/decode_block.hpp>
#include <mthc/decompress_blocks.hpp>
#include <mthc/encode_block.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/version.hpp>
