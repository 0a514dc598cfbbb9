#include "cli/run_pack.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mthc/byte_buffer.hpp>
#include <mthc/messages.hpp>
#include <mthc/pack_midi.hpp>
#include <mthc/summarize_file.hpp>
#include <mthc/unpack.hpp>
#include <mthc/version.hpp>
#include <new>
#include <string>
#include <vector>

#include "app/input_limit.hpp"
#include "app/output_name.hpp"
#include "app/summary_json.hpp"
#include "app/text.hpp"
#include "cli/listing.hpp"
#include "cli/output_plan.hpp"
#include "cli/pack_options.hpp"
#include "cli/platform.hpp"
#include "cli/read_input_file.hpp"
#include "cli/report.hpp"
#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

namespace mthc {

namespace {

constexpr const char* k_standard_input = "standard input";
constexpr const char* k_standard_output = "standard output";

bool is_standard_stream(const char* path) noexcept {
  return path[0] == '-' && path[1] == '\0';
}

// How a file is named in the lines the packer prints: made safe for a
// terminal (see app/text.hpp).
std::string display_name(const char* input) {
  return is_standard_stream(input) ? k_standard_input : shown_name(input);
}

struct pack_run {
  const pack_arguments& options;
  // The files this run reads: none of them is ever written.
  std::vector<file_identity> input_files;
  listing_totals totals;

  void error(const std::string& name, const std::string& text) const {
    report_file_error(name, text);
  }
  void warning(const std::string& name, const std::string& text) const {
    if (!options.quiet) report_file_warning(name, text);
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
      read = read_stream(stdin, k_standard_input, app::k_max_input_size, bytes);
    } else {
      read = read_input_file(input, app::k_max_input_size, bytes, stream_input::read);
    }
    switch (read.status) {
      case read_status::ok:
      case read_status::empty:
        return true;
      case read_status::failed:
        report_error(read.why);
        return false;
      case read_status::too_large:
        error(display_name(input), app::input_too_large_text());
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
    path = options.output_path != nullptr ? options.output_path : app::output_name(input, to_midi);
    const auto identity = identity_of(path.c_str());
    // The same file, or the name of an input that does not exist yet.
    if ((identity &&
         std::find(input_files.begin(), input_files.end(), *identity) != input_files.end()) ||
        std::find_if(options.inputs.begin(), options.inputs.end(), [&path](const char* other) {
          return path == other;
        }) != options.inputs.end()) {
      std::fprintf(stderr, "Error: '%s' is an input of this run; it is not overwritten\n",
                   shown_name(path).c_str());
      return false;
    }
    // Refused before the work rather than after it (the write checks again).
    const failure refused = output_allowed(path.c_str(), output_rules_for(nullptr));
    if (refused.failed()) report_error(refused);
    return !refused.failed();
  }

  // A name beside the input is the program's choice; -o's is the user's.
  output_rules output_rules_for(const file_status* input_status) const {
    return {output_program::mthc_pack, options.output_path != nullptr, options.force, input_status};
  }

  bool write(const char* input, const std::string& path,
             std::span<const std::uint8_t> bytes) const {
    if (path.empty()) {
      if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) ||
          std::fflush(stdout) != 0) {
        std::fprintf(stderr, "Error: failed writing to standard output\n");
        std::clearerr(stdout);  // said once, here
        return false;
      }
      return true;
    }
    // The output gets the input's permission bits and times.
    file_status status;
    const bool known = !is_standard_stream(input) && look_up(input, links::followed, status);
    const failure failed =
        write_output_file(path.c_str(), bytes, output_rules_for(known ? &status : nullptr));
    if (failed.failed()) report_error(failed);
    return !failed.failed();
  }

  static std::string output_display(const std::string& path) {
    return path.empty() ? k_standard_output : shown_name(path);
  }

  // Packs a block at a time. On a terminal, packing at the best level that
  // takes more than about a second shows how far it has come, on one line
  // of standard error that is cleared at the end.
  pack_result pack_showing_progress(std::span<const std::uint8_t> smf,
                                    const std::string& name) const {
    const pack_options packing{options.level, options.strict};
    if (options.quiet || options.level != encode_level::best || !is_terminal(stderr)) {
      return pack_midi(smf, packing);
    }
    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    packer job = start_packing(smf, packing);
    int shown_percent = -1;
    while (continue_packing(job)) {
      if (clock::now() - start < std::chrono::seconds(1)) continue;
      const pack_progress progress = packing_progress(job);
      const int percent = progress.total == 0
                              ? 0
                              : static_cast<int>(100.0 * static_cast<double>(progress.done) /
                                                 static_cast<double>(progress.total));
      if (percent == shown_percent) continue;
      std::fprintf(stderr, "\rPacking %s: %3d%%", name.c_str(), percent);
      std::fflush(stderr);
      shown_percent = percent;
    }
    if (shown_percent >= 0) {
      std::fprintf(stderr, "\r%*s\r", static_cast<int>(name.size()) + 14, "");
      std::fflush(stderr);
    }
    return finish_packing(std::move(job));
  }

  bool pack(const char* input, std::span<const std::uint8_t> smf) const {
    const std::string name = display_name(input);
    std::string path;
    if (!choose_output(input, false, path)) return false;
    const pack_result packed = pack_showing_progress(smf, name);
    if (packed.error != pack_error::none) {
      error(name, error_text(packed));
      return false;
    }
    for (const midi_change& change : packed.changes)
      warning(name, change_text(change));
    if (!packed.empty_tracks.empty()) warning(name, empty_tracks_text(packed.empty_tracks));
    for (const std::string& text : packed_as_is_texts(packed)) {
      warning(name, text +
                        ", but mthc-pack -t and -d will refuse the container (mthc-pack -d --as-is "
                        "unpacks it)");
    }
    if (!write(input, path, packed.container)) return false;
    // Nothing is said beside data on standard output.
    if (!options.quiet && !path.empty()) {
      std::printf("Packed MIDI %s into MThc %s (%lu bytes, %lu block%s)\n", name.c_str(),
                  output_display(path).c_str(), static_cast<unsigned long>(packed.container.size()),
                  static_cast<unsigned long>(packed.block_count),
                  packed.block_count == 1 ? "" : "s");
    }
    return true;
  }

  // Converts a container and checks everything there is to check; false
  // after an error line. `result` holds the MIDI file when true.
  bool convert_checked(const std::string& name, std::span<const std::uint8_t> image,
                       unpack_result& result) const {
    const bool as_is = options.as_is && options.mode != pack_mode::test;
    result = unpack_container(image, {as_is});
    if (result.error == unpack_error::none) {
      if (result.music_fault != unpack_error::none) {
        warning(name, warning_text(result) + "; unpacked as it is stored");
      }
      return true;
    }
    const bool music = result.music_fault != unpack_error::none;
    error(name, music && options.mode != pack_mode::test
                    ? error_text(result) + "; mthc-pack -d --as-is unpacks it as it is stored"
                    : error_text(result));
    return false;
  }

  bool unpack(const char* input, std::span<const std::uint8_t> image) const {
    const std::string name = display_name(input);
    std::string path;
    if (!choose_output(input, true, path)) return false;
    unpack_result unpacked;
    if (!convert_checked(name, image, unpacked)) return false;
    const auto midi = unpacked.midi_file.used();
    if (!write(input, path, midi)) return false;
    if (!options.quiet && !path.empty()) {
      std::printf("Unpacked MThc %s into MIDI %s (%lu bytes)\n", name.c_str(),
                  output_display(path).c_str(), static_cast<unsigned long>(midi.size()));
    }
    return true;
  }

  bool test(const char* input, std::span<const std::uint8_t> image) const {
    const std::string name = display_name(input);
    unpack_result unpacked;
    if (!convert_checked(name, image, unpacked)) return false;
    if (!options.quiet) std::fprintf(stdout, "%s: OK\n", name.c_str());
    return true;
  }

  // Lists a container or a MIDI file; false after an error line.
  bool list(const char* input, std::span<const std::uint8_t> data) {
    const std::string name = display_name(input);
    const file_summary summary = summarize_file(data, options.verbose || options.json);
    if (summary.error != file_error::none) {
      error(name, error_text(summary));
      return false;
    }
    if (options.json) {
      const std::string_view file_name = is_standard_stream(input) ? k_standard_input : input;
      print_json_line(app::summary_json(summary, &file_name));
    } else if (options.verbose) {
      print_music(name, summary);
    } else {
      print_listing_line(name, summary, totals);
    }
    if (summary.kind == file_kind::container && !summary.check.sound()) {
      warning(name, error_text(summary.check));
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
    const bool container = has_container_tag(data);
    const std::string name = display_name(input);
    switch (options.mode) {
      case pack_mode::automatic:
        return container ? unpack(input, data) : pack(input, data);
      case pack_mode::decompress:
        if (!container) {
          error(name, error_text(check_container(data)));
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
  // Two containers (or MIDI files) back to back are no file that anything
  // reads, and -t would pass them.
  if (options.to_stdout && writes && options.inputs.size() > 1) {
    std::fprintf(stderr,
                 "Error: -c writes the output of one input (a container holds one song), but %lu "
                 "are given\n",
                 static_cast<unsigned long>(options.inputs.size()));
    return false;
  }
  if (const std::string shared = shared_output_text(options); !shared.empty()) {
    std::fprintf(stderr, "Error: %s\n", shared.c_str());
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
  if (table && run.totals.containers > 1) print_listing_total(run.totals);
  return finish_standard_output(status);
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
        return finish_standard_output(0);
      case pack_action::version:
        std::printf("mthc-pack %s\n", version_string());
        return finish_standard_output(0);
      case pack_action::needs_list:
        std::fprintf(stderr, "Error: option '%s' goes with -l\n", parsed.argument);
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::needs_unpacking:
        std::fprintf(stderr, "Error: option '%s' goes with unpacking, not with -t or -l\n",
                     parsed.argument);
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::unknown_option:
        std::fprintf(stderr, "Error: unknown option '%s'\n", shown_name(parsed.argument).c_str());
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::missing_value:
        std::fprintf(stderr, "Error: option '%s' needs a path\n",
                     shown_name(parsed.argument).c_str());
        print_pack_usage(stderr, program_name);
        return 1;
      case pack_action::conflicting_modes:
        std::fprintf(stderr, "Error: option '%s': give only one of -d, -t and -l\n",
                     shown_name(parsed.argument).c_str());
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
