#include "cli/run_pack.hpp"

#include <cctype>
#include <cstdio>
#include <mthc/byte_buffer.hpp>
#include <mthc/version.hpp>
#include <new>
#include <vector>

#include "cli/pack_options.hpp"
#include "cli/read_input_file.hpp"
#include "cli/write_output_file.hpp"
#include "format/format.hpp"
#include "midi/pack_midi.hpp"
#include "midi/split_tracks.hpp"

namespace mthc {

namespace {

void print_pack_error(const pack_result& r, const char* input_path) {
  switch (r.error) {
    case pack_error::none:
      return;
    case pack_error::not_midi:
      std::fprintf(stderr, "Error: '%s' is not a MIDI file (no MThd header)\n", input_path);
      return;
    case pack_error::header_length:
      std::fprintf(stderr, "Error: MThd header length is %lu, expected 6\n",
                   static_cast<unsigned long>(r.value));
      return;
    case pack_error::chunk_past_end:
      std::fprintf(stderr, "Error: chunk at offset %lu runs past the end of the file\n",
                   static_cast<unsigned long>(r.offset));
      return;
    case pack_error::foreign_chunk: {
      char tag[5] = {};
      for (std::size_t i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(r.tag[i]);
        tag[i] = std::isprint(c) != 0 ? r.tag[i] : '?';
      }
      std::fprintf(stderr,
                   "Error: chunk '%s' at offset %lu is not an MTrk chunk; only MTrk chunks can "
                   "be packed\n",
                   tag, static_cast<unsigned long>(r.offset));
      return;
    }
    case pack_error::track_count_mismatch:
      std::fprintf(stderr, "Error: MThd declares %lu tracks but the file holds %lu MTrk chunks\n",
                   static_cast<unsigned long>(r.value), static_cast<unsigned long>(r.chunk_count));
      return;
    case pack_error::too_many_tracks:
      std::fprintf(
          stderr, "Error: too many tracks: track %lu holds data, but only tracks 0 to %lu can\n",
          static_cast<unsigned long>(r.value), static_cast<unsigned long>(k_max_track_with_data));
      return;
    case pack_error::too_much_data:
      std::fprintf(stderr, "Error: too much MIDI data for 255 blocks\n");
      return;
    case pack_error::out_of_memory:
      std::fprintf(stderr, "Error: out of memory while packing\n");
      return;
    case pack_error::header_too_short:
    case pack_error::riff_wrapper:
    case pack_error::trailing_bytes:
      std::fprintf(stderr, "Error: '%s' cannot be packed\n", input_path);
      return;
  }
}

// Files larger than this cannot be packed whatever they hold: the track data
// must fit 255 blocks of 65535 bytes, and besides it a MIDI file has its
// 14-byte header and 8 bytes per chunk for at most 65535 chunks. They are
// refused before being read.
constexpr std::int64_t k_max_input_file_size =
    format::k_midi_header_size + format::k_max_block_count * k_max_block_size +
    format::k_chunk_header_size * format::k_max_track_count;

int pack_file(const pack_arguments& options) {
  byte_buffer smf;
  switch (read_input_file(options.input_path, k_max_input_file_size, smf).status) {
    case read_status::ok:
    case read_status::empty:
      break;
    case read_status::failed:
      return 1;
    case read_status::too_large:
      std::fprintf(stderr, "Error: too much MIDI data for 255 blocks\n");
      return 1;
    case read_status::out_of_memory:
      std::fprintf(stderr, "Error: out of memory while packing\n");
      return 1;
  }
  const pack_result packed = pack_midi(smf.used(), {.level = options.level, .strict = true});
  if (packed.error != pack_error::none) {
    print_pack_error(packed, options.input_path);
    return 1;
  }
  for (const std::size_t track : packed.empty_tracks) {
    std::fprintf(stderr,
                 "Warning: track %lu is empty; it will unpack as an end-of-track event "
                 "(00 ff 2f 00)\n",
                 static_cast<unsigned long>(track));
  }
  if (write_output_file(options.output_path, packed.container) != 0) return 1;
  std::printf("Packed MIDI %s into MThc %s (%lu bytes, %lu block%s)\n", options.input_path,
              options.output_path, static_cast<unsigned long>(packed.container.size()),
              static_cast<unsigned long>(packed.block_count), packed.block_count == 1 ? "" : "s");
  return 0;
}

}  // namespace

int run_pack(int argc, const char* const* argv) noexcept {
  const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "mthc-pack";
  const std::span<const char* const> arguments =
      argc > 1 ? std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1))
               : std::span<const char* const>();

  const pack_parse_result parsed = parse_pack_options(arguments);
  switch (parsed.action) {
    case pack_action::run:
      break;
    case pack_action::help:
      print_pack_usage(program_name);
      return 0;
    case pack_action::version:
      std::printf("mthc-pack %s\n", version_string());
      return 0;
    case pack_action::unknown_option:
      std::fprintf(stderr, "Error: unknown option '%s'\n", parsed.argument);
      print_pack_usage(program_name);
      return 1;
    case pack_action::unexpected_argument:
      std::fprintf(stderr, "Error: unexpected argument '%s'\n", parsed.argument);
      print_pack_usage(program_name);
      return 1;
    case pack_action::usage_error:
      print_pack_usage(program_name);
      return 1;
  }
  try {
    return pack_file(parsed.options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: out of memory while packing\n");
    return 1;
  }
}

}  // namespace mthc
