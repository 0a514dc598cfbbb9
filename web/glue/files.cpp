// What the page's worker calls to turn one file into another, by the rules
// of `mthc-pack` without options: a file that starts with "MThc" is a
// container, unpacked into its MIDI file and refused when its check finds
// anything wrong, in its blocks or in its music (or, asked to, converted as
// it is when only its music is at fault); any other file is a MIDI file,
// packed at the best level.
//
// The worker handles one file at a time, so there is one file in hand here:
// web_input() makes room for it, the worker copies it in, and one of
// web_convert(), web_convert_as_is() or web_pack_start() ...
// web_pack_finish() turns it into the output, read back with web_output()
// and web_output_size(). What went wrong or was changed is in
// web_problems(), as facts for the page's own words (problems.hpp).
// web_clear() lets it all go.
#include "files.hpp"

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mthc/container.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/unpack.hpp>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/input_limit.hpp"
#include "app/output_name.hpp"
#include "problems.hpp"

namespace mthc::web {

namespace {

struct file_in_hand {
  std::unique_ptr<std::uint8_t[]> input;
  std::size_t input_size = 0;
  packer job;
  // The output: a container's MIDI file, or a MIDI file's container.
  byte_buffer midi_file;
  std::vector<std::uint8_t> container;
  bool output_is_midi = false;
  std::size_t blocks = 0;
  std::string problems;  // empty until a conversion has said something
};

file_in_hand file;

int unpack(bool as_is) {
  unpack_result unpacked = unpack_container(input(), {.as_is = as_is});
  file.blocks = unpacked.check.blocks_declared;
  file.problems = unpack_problems(unpacked);
  if (unpacked.error != unpack_error::none) return 0;
  file.midi_file = std::move(unpacked.midi_file);
  file.output_is_midi = true;
  return 1;
}

}  // namespace

std::span<const std::uint8_t> input() noexcept {
  return {file.input.get(), file.input_size};
}

std::span<const std::uint8_t> output() noexcept {
  return file.output_is_midi ? file.midi_file.used()
                             : std::span<const std::uint8_t>(file.container);
}

bool output_is_midi() noexcept {
  return file.output_is_midi;
}

}  // namespace mthc::web

using namespace mthc;
using namespace mthc::web;

extern "C" {

// Whether a file of `size` bytes is too large to read (1) or not (0).
EMSCRIPTEN_KEEPALIVE int web_too_large(double size) {
  return size > static_cast<double>(app::k_max_input_size) ? 1 : 0;
}

// The most track data a container holds (as a double: a JavaScript number).
EMSCRIPTEN_KEEPALIVE double web_max_track_data() {
  return static_cast<double>(k_max_track_data);
}

// The name of the output of the file `name`, as mthc-pack names the file
// it writes beside its input: to_midi for a container.
EMSCRIPTEN_KEEPALIVE const char* web_output_name(const char* name, int to_midi) {
  static std::string text;
  try {
    text = app::output_name(name, to_midi != 0);
  } catch (const std::bad_alloc&) {
    text.clear();
  }
  return text.c_str();
}

// Room for a file of `size` bytes, to be filled by the caller (null when
// memory runs out); whatever was in hand before is let go.
EMSCRIPTEN_KEEPALIVE std::uint8_t* web_input(std::size_t size) {
  file = file_in_hand{};
  file.input.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
  file.input_size = file.input ? size : 0;
  return file.input.get();
}

// Whether the file in hand is a container (else it is packed).
EMSCRIPTEN_KEEPALIVE int web_is_container() {
  return has_container_tag(input()) ? 1 : 0;
}

// Unpacks the container in hand; 1 when its MIDI file is the output.
EMSCRIPTEN_KEEPALIVE int web_convert() {
  return unpack(false);
}

// The same, but a container whose blocks and records are sound and whose
// music does not read is converted as it is stored, with a warning that
// names the fault, rather than refused.
EMSCRIPTEN_KEEPALIVE int web_convert_as_is() {
  return unpack(true);
}

// Starts packing the MIDI file in hand, refusing what would not come back
// as it is when `strict` is non-zero. Then web_pack_continue() until it
// returns 0, and web_pack_finish().
EMSCRIPTEN_KEEPALIVE void web_pack_start(int strict) {
  file.job = start_packing(input(), {encode_level::best, strict != 0});
}

// Packs the next block; 0 once nothing is left to do.
EMSCRIPTEN_KEEPALIVE int web_pack_continue() {
  return file.job && continue_packing(file.job) ? 1 : 0;
}

// Bytes done and in all of the packing in progress (as doubles: JavaScript
// numbers).
EMSCRIPTEN_KEEPALIVE double web_pack_done() {
  return file.job ? static_cast<double>(packing_progress(file.job).done) : 0;
}
EMSCRIPTEN_KEEPALIVE double web_pack_total() {
  return file.job ? static_cast<double>(packing_progress(file.job).total) : 0;
}

// Ends the packing; 1 when the container is the output.
EMSCRIPTEN_KEEPALIVE int web_pack_finish() {
  pack_result packed = finish_packing(std::move(file.job));
  file.problems = pack_problems(packed);
  if (packed.error != pack_error::none) return 0;
  file.container = std::move(packed.container);
  file.blocks = packed.block_count;
  file.output_is_midi = false;
  return 1;
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_output() {
  return output().data();
}
EMSCRIPTEN_KEEPALIVE std::size_t web_output_size() {
  return output().size();
}
EMSCRIPTEN_KEEPALIVE std::size_t web_blocks() {
  return file.blocks;
}
// The error and warnings as facts (problems.hpp), JSON.
EMSCRIPTEN_KEEPALIVE const char* web_problems() {
  if (file.problems.empty()) return "{\"error\":null,\"warnings\":[]}";
  return file.problems.c_str();
}

EMSCRIPTEN_KEEPALIVE void web_clear() {
  file = file_in_hand{};
}

}  // extern "C"
