#include "cli/run.hpp"

#include <mthc/container.hpp>
#include <mthc/messages.hpp>
#include <span>

#include "cli/decompress_to_midi.hpp"
#include "cli/extract_payload.hpp"
#include "cli/load_container.hpp"
#include "cli/options.hpp"
#include "cli/platform.hpp"
#include "cli/print_report.hpp"
#include "cli/report.hpp"
#include "cli/shown_name.hpp"
#include "cli/usage.hpp"

namespace mthc::cli {

namespace {

int run_steps(int argc, const char* const* argv) noexcept {
  // Without even a program name there is nothing to name in the usage text.
  const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "mthc";
  const std::span<const char* const> arguments =
      argc > 1 ? std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1))
               : std::span<const char* const>();

  const parse_result parsed = parse_options(arguments);
  switch (parsed.action) {
    case parse_action::run:
      break;
    case parse_action::help:
      print_usage(program_name);
      return 0;
    case parse_action::unexpected_argument:
      report_error(
          failure_of("unexpected argument '%s'", printable_name(parsed.unexpected).c_str()));
      print_usage(program_name);
      return 1;
    case parse_action::usage_error:
      print_usage(program_name);
      return 1;
  }
  const run_options& options = parsed.options;

  byte_buffer image;
  if (const failure failed = load_container(options.input_path, image); failed.failed()) {
    report_error(failed);
    return 1;
  }
  const std::span<const std::uint8_t> bytes = image.used();
  if (const container_fault fault = check_container(bytes); fault != container_fault::none) {
    report_error(error_text(fault));
    return 1;
  }

  print_report(read_container_header(bytes));
  if (options.verbose) print_payload_preview(container_payload(bytes));
  // Both outputs are named by the user and replace what is there; a new one
  // is as private as the container.
  file_status container;
  const bool container_known = look_up(options.input_path, links::followed, container);
  const output_rules rules{output_program::mthc, true, true,
                           container_known ? &container : nullptr};
  failure failed;
  if (options.extract_path != nullptr) failed = extract_payload(bytes, options.extract_path, rules);
  // A failed extraction means no conversion.
  if (!failed.failed() && options.decompress_path != nullptr) {
    failed = decompress_to_midi(bytes, options.decompress_path, rules);
  }
  if (!failed.failed()) return 0;
  report_error(failed);
  return 1;
}

}  // namespace

int run(int argc, const char* const* argv) noexcept {
  const int status = run_steps(argc, argv);
  // A failure has said so already; a success must have reached standard
  // output (the report went there) to be one.
  return status == 0 ? finish_standard_output(status) : status;
}

}  // namespace mthc::cli
