// The mthc library: decoding MThc containers into Standard MIDI Files, in
// memory. Everything here prints nothing, touches no file and never throws.
//
//   mthc::conversion_result r = mthc::convert_to_midi(container_bytes);
//   if (r.error == mthc::conversion_error::none) save(r.midi_file.used());
#pragma once

#include <mthc/byte_buffer.hpp>
#include <mthc/convert_to_midi.hpp>
#include <mthc/decode_block.hpp>
#include <mthc/decompress_blocks.hpp>
#include <mthc/version.hpp>
