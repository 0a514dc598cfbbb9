#include "cli/options.hpp"

#include <cstring>

namespace mthc::cli {

namespace {

bool is(const char* argument, const char* name) noexcept {
  return std::strcmp(argument, name) == 0;
}

}  // namespace

parse_result parse_options(std::span<const char* const> arguments) noexcept {
  parse_result result;
  if (arguments.empty()) return result;  // usage_error

  run_options& options = result.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const char* argument = arguments[i];
    if (is(argument, "-v") || is(argument, "--verbose")) {
      options.verbose = true;
    } else if (is(argument, "--extract-payload") || is(argument, "--decompress")) {
      // The value is taken verbatim, even when it looks like an option.
      if (i + 1 == arguments.size()) return result;  // usage_error
      const char*& target =
          is(argument, "--extract-payload") ? options.extract_path : options.decompress_path;
      target = arguments[++i];
    } else if (is(argument, "-h") || is(argument, "--help")) {
      result.action = parse_action::help;
      return result;
    } else if (options.input_path != nullptr) {
      result.action = parse_action::unexpected_argument;
      result.unexpected = argument;
      return result;
    } else {
      options.input_path = argument;
    }
  }
  if (options.input_path != nullptr) result.action = parse_action::run;
  return result;
}

}  // namespace mthc::cli
