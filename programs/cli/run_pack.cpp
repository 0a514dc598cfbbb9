#include "cli/run_pack.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
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
#include "app/not_a_container.hpp"
#include "app/output_name.hpp"
#include "app/summary_json.hpp"
#include "app/text.hpp"
#include "cli/folder_walk.hpp"
#include "cli/listing.hpp"
#include "cli/output_plan.hpp"
#include "cli/pack_options.hpp"
#include "cli/pending_outputs.hpp"
#include "cli/platform.hpp"
#include "cli/read_input_file.hpp"
#include "cli/report.hpp"
#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

namespace mthc::cli {

namespace {

constexpr const char* k_standard_input = "standard input";
constexpr const char* k_standard_output = "standard output";
constexpr const char* k_as_is_with_midi =
    "option '--as-is' goes with unpacking, and this is a MIDI file, not a container";

bool is_standard_stream(const char* path) noexcept {
  return path[0] == '-' && path[1] == '\0';
}

// How a file is named in the lines the packer prints: made safe for a
// terminal (see app/text.hpp).
std::string display_name(const char* input) {
  return is_standard_stream(input) ? k_standard_input : shown_name(input);
}

// A line as printf would make it, of any length.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
line_of(const char* format, ...) {  // NOLINT(cert-dcl50-cpp): a checked format
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

struct pack_run {
  const pack_arguments& options;
  // The files this run reads: none of them is ever written.
  std::vector<file_identity> input_files;
  listing_totals totals;
  // What the file at hand says, and the files whose outputs wait for the
  // sync.
  file_report* report = nullptr;
  pending_outputs pending;

  // The failure of the file `name`: "<name>: <text>".
  static failure in_file(const std::string& name, const std::string& text) {
    return failure_of("%s: %s", name.c_str(), text.c_str());
  }
  void warning(const std::string& name, const std::string& text) const {
    if (!options.quiet) report->lines.push_back({said_line::stream::warning, name + ": " + text});
  }
  // A line on standard output, said once the file's output is in place.
  void say_done(std::string line) const {
    if (report->staged >= 0) {
      report->placed_line = std::move(line);
    } else {
      report->lines.push_back({said_line::stream::out, std::move(line)});
    }
  }

  // Reads an input whole, or says why not.
  failure read(const char* input, byte_buffer& bytes) const {
    const read_result read =
        is_standard_stream(input)
            ? read_stream(stdin, k_standard_input, app::k_max_input_size, bytes)
            : read_input_file(input, app::k_max_input_size, bytes, stream_input::read);
    switch (read.status) {
      case read_status::ok:
      case read_status::empty:
        return {};
      case read_status::failed:
        return read.why;
      case read_status::too_large:
        return in_file(display_name(input), too_large_text(read.first_bytes()));
      case read_status::out_of_memory:
        return in_file(display_name(input), "out of memory reading the file");
    }
    return {};
  }

  // Why a file beginning with `head` is too large: a file that -d or -t is
  // given is first of all no container, when it is none.
  std::string too_large_text(std::span<const std::uint8_t> head) const {
    const bool container_wanted =
        options.mode == pack_mode::decompress || options.mode == pack_mode::test;
    if (container_wanted) {
      if (std::string text = app::not_a_container_text(head); !text.empty()) return text;
    }
    return app::input_too_large_text();
  }

  // Where the output of `input` goes, or why it may not be written: to
  // standard output (empty path), -o's path, or a file beside the input.
  failure choose_output(const char* input, bool to_midi, std::string& path) const {
    if (options.to_stdout || (is_standard_stream(input) && options.output_path == nullptr)) {
      path.clear();
      if (is_terminal(stdout)) {
        return failure_of(
            "refusing to write binary data to a terminal; use -o or redirect standard output");
      }
      return {};
    }
    path = options.output_path != nullptr ? options.output_path : app::output_name(input, to_midi);
    const auto identity = identity_of(path.c_str());
    // The same file, or the name of an input that does not exist yet.
    if ((identity &&
         std::find(input_files.begin(), input_files.end(), *identity) != input_files.end()) ||
        std::find_if(options.inputs.begin(), options.inputs.end(), [&path](const char* other) {
          return path == other;
        }) != options.inputs.end()) {
      return failure_of("'%s' is an input of this run; it is not overwritten",
                        shown_name(path).c_str());
    }
    // Refused before the work rather than after it (the write checks again).
    return output_allowed(path.c_str(), output_rules_for(nullptr));
  }

  // A name beside the input is the program's choice; -o's is the user's.
  output_rules output_rules_for(const file_status* input_status) const {
    return {output_program::mthc_pack, options.output_path != nullptr, options.force, input_status};
  }

  // Writes standard output at once; a file waits for the sync (see
  // pending_outputs.hpp).
  failure write(const char* input, const std::string& path,
                std::span<const std::uint8_t> bytes) const {
    if (path.empty()) {
      if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) ||
          std::fflush(stdout) != 0) {
        std::clearerr(stdout);  // said once, here
        return failure_of("failed writing to standard output");
      }
      return {};
    }
    // The output gets the input's permission bits and times.
    file_status status;
    const bool known = !is_standard_stream(input) && look_up(input, links::followed, status);
    report->staged_path = path;
    return stage_output_file(path.c_str(), bytes, output_rules_for(known ? &status : nullptr),
                             report->staged);
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

  failure pack(const char* input, std::span<const std::uint8_t> smf) const {
    const std::string name = display_name(input);
    std::string path;
    if (failure refused = choose_output(input, false, path); refused.failed()) return refused;
    const pack_result packed = pack_showing_progress(smf, name);
    if (packed.error != pack_error::none) return in_file(name, error_text(packed));
    for (const midi_change& change : packed.changes)
      warning(name, change_text(change));
    if (!packed.empty_tracks.empty()) warning(name, empty_tracks_text(packed.empty_tracks));
    for (const std::string& text : packed_as_is_texts(packed)) {
      warning(name, text +
                        ", but mthc-pack -t and -d will refuse the container (mthc-pack -d --as-is "
                        "unpacks it)");
    }
    if (failure failed = write(input, path, packed.container); failed.failed()) return failed;
    // Nothing is said beside data on standard output.
    if (!options.quiet && !path.empty()) {
      say_done(line_of(
          "Packed MIDI %s into MThc %s (%lu bytes, %lu block%s)\n", name.c_str(),
          output_display(path).c_str(), static_cast<unsigned long>(packed.container.size()),
          static_cast<unsigned long>(packed.block_count), packed.block_count == 1 ? "" : "s"));
    }
    return {};
  }

  // Converts a container and checks everything there is to check, or says
  // why it is refused. `result` holds the MIDI file when it is not.
  failure convert_checked(const std::string& name, std::span<const std::uint8_t> image,
                          unpack_result& result) const {
    const bool as_is = options.as_is && options.mode != pack_mode::test;
    result = unpack_container(image, {as_is});
    if (result.error == unpack_error::none) {
      if (result.music_fault != unpack_error::none) {
        warning(name, warning_text(result) + "; unpacked as it is stored");
      }
      return {};
    }
    const bool music = result.music_fault != unpack_error::none;
    return in_file(name,
                   music && options.mode != pack_mode::test
                       ? error_text(result) + "; mthc-pack -d --as-is unpacks it as it is stored"
                       : error_text(result));
  }

  failure unpack(const char* input, std::span<const std::uint8_t> image) const {
    const std::string name = display_name(input);
    std::string path;
    if (failure refused = choose_output(input, true, path); refused.failed()) return refused;
    unpack_result unpacked;
    if (failure refused = convert_checked(name, image, unpacked); refused.failed()) return refused;
    const auto midi = unpacked.midi_file.used();
    if (failure failed = write(input, path, midi); failed.failed()) return failed;
    if (!options.quiet && !path.empty()) {
      say_done(line_of("Unpacked MThc %s into MIDI %s (%lu bytes)\n", name.c_str(),
                       output_display(path).c_str(), static_cast<unsigned long>(midi.size())));
    }
    return {};
  }

  failure test(const char* input, std::span<const std::uint8_t> image) const {
    const std::string name = display_name(input);
    unpack_result unpacked;
    if (failure refused = convert_checked(name, image, unpacked); refused.failed()) return refused;
    if (!options.quiet) say_done(name + ": OK\n");
    return {};
  }

  // Lists a container or a MIDI file, or says why it cannot.
  failure list(const char* input, std::span<const std::uint8_t> data) {
    const std::string name = display_name(input);
    const file_summary summary = summarize_file(data, options.verbose || options.json);
    if (summary.error != file_error::none) return in_file(name, error_text(summary));
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
    return {};
  }

  // One input, in the run's mode, or why it failed.
  failure process(const char* input) {
    byte_buffer bytes;
    if (failure failed = read(input, bytes); failed.failed()) return failed;
    const std::span<const std::uint8_t> data = bytes.used();
    const bool container = has_container_tag(data);
    const std::string name = display_name(input);
    // A file that -d or -t is given which is no container is called so,
    // however short it is.
    const bool container_wanted =
        options.mode == pack_mode::decompress || options.mode == pack_mode::test;
    if (container_wanted) {
      if (std::string text = app::not_a_container_text(data); !text.empty()) {
        return in_file(name, text);
      }
    }
    switch (options.mode) {
      case pack_mode::automatic:
        if (container) return unpack(input, data);
        // Named files were checked before the run; this came through a pipe.
        if (options.as_is) return in_file(name, k_as_is_with_midi);
        return pack(input, data);
      case pack_mode::decompress:
        if (!container) return in_file(name, error_text(check_container(data)));
        return unpack(input, data);
      case pack_mode::test:
        return test(input, data);
      case pack_mode::list:
        return list(input, data);
    }
    return {};
  }
};

// The error line of arguments that are not right, and the usage text.
int usage_error(const failure& what, const char* program_name) {
  report_error(what);
  print_pack_usage(stderr, program_name);
  return 1;
}

// Arguments that cannot go together, and why.
failure check_combinations(const pack_arguments& options) {
  const bool writes = options.mode == pack_mode::automatic || options.mode == pack_mode::decompress;
  const auto inputs = static_cast<unsigned long>(options.inputs.size());
  if (options.output_path != nullptr && !writes) {
    return failure_of("-o names an output, but -t and -l write none");
  }
  if (options.output_path != nullptr && options.to_stdout) {
    return failure_of("-o and -c both name the output; give one of them");
  }
  if (options.recursive && options.output_path != nullptr) {
    return failure_of("-o names the output of one input, but -r walks folders");
  }
  if (options.recursive && options.to_stdout && writes) {
    return failure_of(
        "-c writes the output of one input (a container holds one song), but -r "
        "walks folders");
  }
  if (options.output_path != nullptr && inputs > 1) {
    return failure_of("-o names the output of one input, but %lu are given", inputs);
  }
  // Two containers (or MIDI files) back to back are no file that anything
  // reads, and -t would pass them.
  if (options.to_stdout && writes && inputs > 1) {
    return failure_of(
        "-c writes the output of one input (a container holds one song), but %lu are given",
        inputs);
  }
  // With -r the clashes are found once the folders are walked.
  if (options.recursive) return {};
  if (const std::string shared = shared_output_text(options); !shared.empty()) {
    return failure_of("%s", shared.c_str());
  }
  return {};
}

struct temporaries_removed_at_end {
  temporaries_removed_at_end() = default;
  temporaries_removed_at_end(const temporaries_removed_at_end&) = delete;
  temporaries_removed_at_end& operator=(const temporaries_removed_at_end&) = delete;
  ~temporaries_removed_at_end() { remove_temporaries(); }
};

// --as-is with a MIDI file named among the inputs (one that comes through a
// pipe is refused when it is read).
failure check_as_is(const pack_arguments& options) {
  if (!options.as_is || options.mode != pack_mode::automatic) return {};
  if (options.recursive) {
    return failure_of("option '--as-is' goes with unpacking, but -r without -d packs MIDI files");
  }
  for (const char* input : options.inputs) {
    if (is_standard_stream(input)) continue;
    const std::optional<bool> container = starts_as_container(input);
    if (container && !*container) {
      return failure_of(
          "option '--as-is' goes with unpacking, but '%s' is a MIDI file, not a container",
          shown_name(input).c_str());
    }
  }
  return {};
}

// Puts the files that the folders among the inputs hold in their place
// (their paths in `walked`), and leaves out two inputs that would be written
// to the same file, as the run would refuse them: the walk has no say in
// what a folder holds, and one clash does not stop it. Returns the exit
// status so far: 1 when a folder could not be read, or inputs were left out.
int walk_folders(pack_arguments& options, std::vector<std::string>& walked) {
  const walk_takes takes =
      options.mode == pack_mode::automatic ? walk_takes::midi_files : walk_takes::containers;
  walk_result result = walk_inputs(options.inputs, takes);
  int status = 0;
  for (const failure& failed : result.failures) {
    report_error(failed);
    status = 1;
  }
  walked = std::move(result.files);
  options.inputs.clear();
  for (const std::string& path : walked)
    options.inputs.push_back(path.c_str());
  const std::vector<output_clash> clashes = output_clashes(options);
  if (clashes.empty()) return status;
  std::vector<bool> left_out(options.inputs.size(), false);
  for (const output_clash& clash : clashes) {
    report_error(clash.text + "; neither is written");
    left_out[clash.first] = true;
    left_out[clash.second] = true;
  }
  std::vector<const char*> kept;
  for (std::size_t i = 0; i < options.inputs.size(); ++i) {
    if (!left_out[i]) kept.push_back(options.inputs[i]);
  }
  options.inputs = std::move(kept);
  return 1;
}

int run_files(pack_arguments options, const char* program_name) {
  if (options.inputs.empty()) options.inputs.push_back("-");
  if (const failure refused = check_combinations(options); refused.failed()) {
    report_error(refused);
    return 1;
  }
  if (const failure refused = check_as_is(options); refused.failed()) {
    return usage_error(refused, program_name);
  }
  // Before anything is printed (-l's header row), not after.
  if (is_terminal(stdin) &&
      std::any_of(options.inputs.begin(), options.inputs.end(), is_standard_stream)) {
    report_error("refusing to read binary data from a terminal; name a file, or see --help");
    return 1;
  }
  use_binary_standard_streams();
  int status = 0;
  // -r: the folders among the inputs stand for the files in them. The
  // inputs then point into `walked`, which lives as long as the run.
  // cppcheck-suppress variableScope
  std::vector<std::string> walked;
  if (options.recursive) status = walk_folders(options, walked);

  pack_run run{options, {}, {}, nullptr, {}};
  for (const char* input : options.inputs) {
    if (is_standard_stream(input)) continue;
    if (const auto identity = identity_of(input)) run.input_files.push_back(*identity);
  }
  // Outputs still waiting when the run ends early (out of memory) are not
  // left behind.
  const temporaries_removed_at_end guard;

  const bool table = options.mode == pack_mode::list && !options.verbose && !options.json;
  if (table) print_listing_header();
  const output_rules rules = run.output_rules_for(nullptr);
  // Each file's failure is said with its other lines, and the others are
  // still done.
  for (const char* input : options.inputs) {
    file_report report;
    run.report = &report;
    if (const failure failed = run.process(input); failed.failed()) {
      report.lines.push_back({said_line::stream::error, failed.text.data()});
      status = 1;
    }
    run.report = nullptr;
    if (add_report(run.pending, std::move(report)) && !settle_outputs(run.pending, rules)) {
      status = 1;
    }
  }
  if (!settle_outputs(run.pending, rules)) status = 1;
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
        return usage_error(failure_of("option '%s' goes with -l", parsed.argument), program_name);
      case pack_action::needs_unpacking:
        return usage_error(
            failure_of("option '%s' goes with unpacking, not with -t or -l", parsed.argument),
            program_name);
      case pack_action::needs_packing:
        return usage_error(
            failure_of("option '%s' goes with packing, not with -d, -t or -l", parsed.argument),
            program_name);
      case pack_action::unknown_option:
        return usage_error(failure_of("unknown option '%s'", shown_name(parsed.argument).c_str()),
                           program_name);
      case pack_action::missing_value:
        return usage_error(
            failure_of("option '%s' needs a path", shown_name(parsed.argument).c_str()),
            program_name);
      case pack_action::empty_path:
        return usage_error(
            failure_of("option '-o' has an empty path; to write to standard output, use -c"),
            program_name);
      case pack_action::conflicting_modes:
        return usage_error(failure_of("option '%s': give only one of -d, -t and -l",
                                      shown_name(parsed.argument).c_str()),
                           program_name);
    }
    return run_files(parsed.options, program_name);
  } catch (const std::bad_alloc&) {
    report_error("out of memory");
    return 1;
  }
}

}  // namespace mthc::cli
