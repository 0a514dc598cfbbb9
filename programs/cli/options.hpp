// Command-line options. Arguments are compared exactly and case-sensitively;
// there is no name=value form, no bundling of short options and no end of
// options marker, so anything unrecognised (even "-x") is the input path.
#pragma once

#include <span>

namespace mthc::cli {

struct run_options {
  bool verbose = false;
  // The argument strings themselves, not copies; nullptr when not given.
  const char* input_path = nullptr;
  const char* extract_path = nullptr;
  const char* decompress_path = nullptr;
};

enum class parse_action {
  run,                  // options are complete: go on with the run
  help,                 // -h or --help: usage text, exit status 0
  usage_error,          // usage text, exit status 1
  unexpected_argument,  // an error line naming the argument, usage text, exit status 1
};

struct parse_result {
  parse_action action = parse_action::usage_error;
  run_options options;
  const char* unexpected = nullptr;  // set for unexpected_argument
};

// `arguments` excludes the program name. Later arguments are not looked at
// once help or a second positional argument is seen.
parse_result parse_options(std::span<const char* const> arguments) noexcept;

}  // namespace mthc::cli
