#include "cli/run_pack.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mthc/byte_buffer.hpp>
#include <mthc/version.hpp>
#include <new>
#include <string>
#include <vector>

#include "cli/checked_unpack.hpp"
#include "cli/listing.hpp"
#include "cli/messages.hpp"
#include "cli/pack_options.hpp"
#include "cli/platform.hpp"
#include "cli/read_input_file.hpp"
#include "cli/write_output_file.hpp"
#include "container/check_container.hpp"
#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "midi/convert_to_midi.hpp"
#include "midi/pack_midi.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/summarize_music.hpp"
#include "midi/track_reader.hpp"

namespace mthc {

namespace {

constexpr const char* k_standard_input = "standard input";
constexpr const char* k_standard_output = "standard output";

bool is_standard_stream(const char* path) noexcept {
  return path[0] == '-' && path[1] == '\0';
}

const char* display_name(const char* input) noexcept {
  return is_standard_stream(input) ? k_standard_input : input;
}

bool ends_with_ignoring_case(const std::string& text, const char* suffix) {
  const std::size_t n = std::char_traits<char>::length(suffix);
  if (text.size() < n) return false;
  return std::equal(text.end() - static_cast<std::ptrdiff_t>(n), text.end(), suffix,
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

// The name of the output beside `input`: a MIDI file's extension (.mid,
// .midi, .rmi, .kar) becomes .mthc, a container's .mthc becomes .mid; any
// other name gets the extension appended.
std::string output_name(const char* input, bool to_midi) {
  const std::string name = input;
  // Only the file's own name counts: "a.mid/song" has no extension.
  const std::size_t slash = name.find_last_of("/\\");
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  const char* const from[] = {".mid", ".midi", ".rmi", ".kar"};
  if (to_midi) {
    if (ends_with_ignoring_case(base, ".mthc") && base.size() > 5) {
      return name.substr(0, name.size() - 5) + ".mid";
    }
    return name + ".mid";
  }
  for (const char* extension : from) {
    const std::size_t n = std::char_traits<char>::length(extension);
    if (ends_with_ignoring_case(base, extension) && base.size() > n) {
      return name.substr(0, name.size() - n) + ".mthc";
    }
  }
  return name + ".mthc";
}

struct pack_run {
  const pack_arguments& options;
  // The files this run reads: none of them is ever written.
  std::vector<file_identity> input_files;
  listing_totals totals;

  void error(const char* name, const std::string& text) const {
    std::fprintf(stderr, "Error: %s: %s\n", name, text.c_str());
  }
  void warning(const char* name, const std::string& text) const {
    if (!options.quiet) std::fprintf(stderr, "Warning: %s: %s\n", name, text.c_str());
  }

  // Reads an input whole; false after an error line.
  bool read(const char* input, byte_buffer& bytes) const {
    read_result read;
    if (is_standard_stream(input)) {
      if (is_terminal(stdin)) {
        std::fprintf(stderr,
                     "Error: refusing to read binary data from a terminal; name a file, or see "
                     "--help\n");
        return false;
      }
      read = read_stream(stdin, k_standard_input, k_max_input_size, bytes);
    } else {
      read = read_input_file(input, k_max_input_size, bytes, stream_input::read);
    }
    switch (read.status) {
      case read_status::ok:
      case read_status::empty:
        return true;
      case read_status::failed:
        return false;
      case read_status::too_large:
        error(display_name(input), input_too_large_text());
        return false;
      case read_status::out_of_memory:
        error(display_name(input), "out of memory reading the file");
        return false;
    }
    return false;
  }

  // Where the output of `input` goes, or nothing after an error line: to
  // standard output (empty path), -o's path, or a file beside the input.
  bool choose_output(const char* input, bool to_midi, std::string& path) const {
    if (options.to_stdout || (is_standard_stream(input) && options.output_path == nullptr)) {
      path.clear();
      if (is_terminal(stdout)) {
        std::fprintf(stderr,
                     "Error: refusing to write binary data to a terminal; use -o or redirect "
                     "standard output\n");
        return false;
      }
      return true;
    }
    path = options.output_path != nullptr ? options.output_path : output_name(input, to_midi);
    const auto identity = identity_of(path.c_str());
    // The same file, or the name of an input that does not exist yet.
    if ((identity &&
         std::find(input_files.begin(), input_files.end(), *identity) != input_files.end()) ||
        std::find_if(options.inputs.begin(), options.inputs.end(), [&path](const char* other) {
          return path == other;
        }) != options.inputs.end()) {
      std::fprintf(stderr, "Error: '%s' is an input of this run; it is not overwritten\n",
                   path.c_str());
      return false;
    }
    // Refused before the work rather than after it (the write checks again).
    return output_allowed(path.c_str(), output_rules_for(nullptr));
  }

  // A name beside the input is the program's choice; -o's is the user's.
  output_rules output_rules_for(const file_status* input_status) const {
    return {output_program::mthc_pack, options.output_path != nullptr, options.force, input_status};
  }

  bool write(const char* input, const std::string& path,
             std::span<const std::uint8_t> bytes) const {
    if (path.empty()) {
      if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
        std::fprintf(stderr, "Error: failed writing to standard output\n");
        return false;
      }
      if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "Error: failed writing to standard output\n");
        return false;
      }
      return true;
    }
    // The output gets the input's permission bits and times.
    file_status status;
    const bool known = !is_standard_stream(input) && look_up(input, links::followed, status);
    return write_output_file(path.c_str(), bytes, output_rules_for(known ? &status : nullptr)) == 0;
  }

  static const char* output_display(const std::string& path) {
    return path.empty() ? k_standard_output : path.c_str();
  }

  // Packs a block at a time. On a terminal, packing at the best level that
  // takes more than about a second shows how far it has come, on one line
  // of standard error that is cleared at the end.
  pack_result pack_showing_progress(std::span<const std::uint8_t> smf, const char* name) const {
    const pack_options packing{options.level, options.strict};
    if (options.quiet || options.level != encode_level::best || !is_terminal(stderr)) {
      return pack_midi(smf, packing);
    }
    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    packer job = start_packing(smf, packing);
    int shown = -1;
    while (continue_packing(job)) {
      if (clock::now() - start < std::chrono::seconds(1)) continue;
      const pack_progress progress = packing_progress(job);
      const int percent = progress.total == 0
                              ? 0
                              : static_cast<int>(100.0 * static_cast<double>(progress.done) /
                                                 static_cast<double>(progress.total));
      if (percent == shown) continue;
      std::fprintf(stderr, "\rPacking %s: %3d%%", name, percent);
      std::fflush(stderr);
      shown = percent;
    }
    if (shown >= 0) {
      std::fprintf(stderr, "\r%*s\r", static_cast<int>(std::strlen(name)) + 14, "");
      std::fflush(stderr);
    }
    return finish_packing(std::move(job));
  }

  bool pack(const char* input, std::span<const std::uint8_t> smf) const {
    const char* name = display_name(input);
    std::string path;
    if (!choose_output(input, false, path)) return false;
    const pack_result packed = pack_showing_progress(smf, name);
    if (packed.error != pack_error::none) {
      error(name, pack_error_text(packed));
      return false;
    }
    for (const std::string& text : pack_warnings(packed, smf))
      warning(name, text);
    if (!write(input, path, packed.container)) return false;
    // Nothing is said beside data on standard output.
    if (!options.quiet && !path.empty()) {
      std::printf("Packed MIDI %s into MThc %s (%lu bytes, %lu block%s)\n", name,
                  output_display(path), static_cast<unsigned long>(packed.container.size()),
                  static_cast<unsigned long>(packed.block_count),
                  packed.block_count == 1 ? "" : "s");
    }
    return true;
  }

  // Converts a container and checks everything there is to check; false
  // after an error line. `result` holds the MIDI file when true.
  bool convert_checked(const char* name, std::span<const std::uint8_t> image,
                       conversion_result& result) const {
    checked_unpack checked = unpack_checked(image);
    if (!checked.refusal.empty()) {
      error(name, checked.music_fault && options.mode != pack_mode::test
                      ? checked.refusal + "; mthc --decompress converts it as it is"
                      : checked.refusal);
      return false;
    }
    result = std::move(checked.converted);
    return true;
  }

  bool unpack(const char* input, std::span<const std::uint8_t> image) const {
    const char* name = display_name(input);
    std::string path;
    if (!choose_output(input, true, path)) return false;
    conversion_result converted;
    if (!convert_checked(name, image, converted)) return false;
    const auto midi = converted.midi_file.used();
    if (!write(input, path, midi)) return false;
    if (!options.quiet && !path.empty()) {
      std::printf("Unpacked MThc %s into MIDI %s (%lu bytes)\n", name, output_display(path),
                  static_cast<unsigned long>(midi.size()));
    }
    return true;
  }

  bool test(const char* input, std::span<const std::uint8_t> image) const {
    const char* name = display_name(input);
    conversion_result converted;
    if (!convert_checked(name, image, converted)) return false;
    if (!options.quiet) std::fprintf(stdout, "%s: OK\n", name);
    return true;
  }

  // Lists a container or a MIDI file; false after an error line.
  bool list(const char* input, std::span<const std::uint8_t> data) {
    const char* name = display_name(input);
    listed_file file;
    file.name = name;
    conversion_result converted;
    std::span<const std::uint8_t> midi = data;
    if (format::has_tag(data, 0, format::k_container_tag)) {
      if (const container_fault fault = check_container(data); fault != container_fault::none) {
        error(name, container_fault_text(fault));
        return false;
      }
      converted = convert_to_midi(data);
      if (converted.error != conversion_error::none) {
        error(name, conversion_error_text(converted));
        return false;
      }
      midi = converted.midi_file.used();
      file.blocks = converted.check.blocks_declared;
      file.packed_bytes = data.size();
    }
    const midi_read_result split = read_midi_file(midi);
    if (split.fault != midi_fault::none) {
      error(name, midi_fault_text(split));
      return false;
    }
    file.midi_bytes = midi.size();
    const auto& fields = split.file.header_fields;
    file.format = format::read_be16(&fields[4]);
    file.track_count = format::read_be16(&fields[6]);
    file.division = format::read_be16(&fields[8]);
    music_summary music;
    if (options.verbose || options.json) {
      music = summarize_music(file.format, file.division, split.file.tracks);
      if (music.error != summary_error::none) {
        error(name, "out of memory reading the music");
        return false;
      }
      file.music = &music;
    }
    if (options.json) {
      print_json(file);
    } else if (options.verbose) {
      print_music(file);
    } else {
      print_listing_line(file, totals);
    }
    if (file.blocks && !converted.check.sound()) {
      warning(name, container_check_text(converted.check));
    }
    return true;
  }

  // One input, in the run's mode; false after an error line.
  bool process(const char* input) {
    // What earlier files printed goes out before this one's warnings and
    // errors, so that a log of both streams keeps the order of the files.
    std::fflush(stdout);
    byte_buffer bytes;
    if (!read(input, bytes)) return false;
    const std::span<const std::uint8_t> data = bytes.used();
    const bool container = format::has_tag(data, 0, format::k_container_tag);
    const char* name = display_name(input);
    switch (options.mode) {
      case pack_mode::automatic:
        return container ? unpack(input, data) : pack(input, data);
      case pack_mode::decompress:
        if (!container) {
          error(name, container_fault_text(check_container(data)));
          return false;
        }
        return unpack(input, data);
      case pack_mode::test:
        return test(input, data);
      case pack_mode::list:
        return list(input, data);
    }
    return false;
  }
};

// Arguments that cannot go together; an error line when they do.
bool check_combinations(const pack_arguments& options) {
  const bool writes = options.mode == pack_mode::automatic || options.mode == pack_mode::decompress;
  if (options.output_path != nullptr && !writes) {
    std::fprintf(stderr, "Error: -o names an output, but -t and -l write none\n");
    return false;
  }
  if (options.output_path != nullptr && options.to_stdout) {
    std::fprintf(stderr, "Error: -o and -c both name the output; give one of them\n");
    return false;
  }
  if (options.output_path != nullptr && options.inputs.size() > 1) {
    std::fprintf(stderr, "Error: -o names the output of one input, but %lu are given\n",
                 static_cast<unsigned long>(options.inputs.size()));
    return false;
  }
  return true;
}

int run_files(pack_arguments options) {
  if (options.inputs.empty()) options.inputs.push_back("-");
  if (!check_combinations(options)) return 1;
  use_binary_standard_streams();

  pack_run run{options, {}, {}};
  for (const char* input : options.inputs) {
    if (is_standard_stream(input)) continue;
    if (const auto identity = identity_of(input)) run.input_files.push_back(*identity);
  }

  const bool table = options.mode == pack_mode::list && !options.verbose && !options.json;
  if (table) print_listing_header();
  int status = 0;
  for (const char* input : options.inputs) {
    if (!run.process(input)) status = 1;
  }
  if (table && run.totals.files > 1) print_listing_total(run.totals);
  return status;
}

}  // namespace

int run_pack(int argc, const char* const* argv) noexcept {
  const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "mthc-pack";
  const std::span<const char* const> arguments =
      argc > 1 ? std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1))
               : std::span<const char* const>();
  try {
    const pack_parse_result parsed = parse_pack_options(arguments);
    switch (parsed.action) {
      case pack_action::run:
        break;
      case pack_action::help:
        print_pack_usage(stdout, program_name);
        return 0;
      case pack_action::version:
        std::printf("mthc-pack %s\n", version_string());
        return 0;
      case pack_action::unknown_option:
        std::fprintf(stderr, "Error: unknown option '%s'\n", parsed.argument);
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::missing_value:
        std::fprintf(stderr, "Error: option '%s' needs a path\n", parsed.argument);
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::conflicting_modes:
        std::fprintf(stderr, "Error: option '%s': give only one of -d, -t and -l\n",
                     parsed.argument);
        print_pack_usage(stderr, program_name);
        return 1;
    }
    return run_files(parsed.options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: out of memory\n");
    return 1;
  }
}

}  // namespace mthc
