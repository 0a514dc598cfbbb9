// Command-line options of the packer. Arguments are compared exactly; the two
// positional arguments are the MIDI file to read and the container to write.
#pragma once

#include <span>

#include "codec/encode_block.hpp"

namespace mthc {

struct pack_arguments {
  encode_level level = encode_level::best;
  const char* input_path = nullptr;
  const char* output_path = nullptr;
};

enum class pack_action {
  run,                  // options are complete
  help,                 // -h or --help: usage text, exit status 0
  version,              // --version: the version on standard output, exit status 0
  usage_error,          // a path is missing: usage text, exit status 1
  unknown_option,       // an error line naming `argument`, usage text, exit status 1
  unexpected_argument,  // a third path: an error line naming `argument`, usage, exit status 1
};

struct pack_parse_result {
  pack_action action = pack_action::usage_error;
  pack_arguments options;
  const char* argument = nullptr;
};

// `arguments` excludes the program name. Parsing stops at help or at the
// first bad argument. "-1"/"--fast" and "-9"/"--best" set the level (the last
// one wins); any other argument that begins with '-' (and is not "-" alone)
// is an unknown option.
pack_parse_result parse_pack_options(std::span<const char* const> arguments) noexcept;

// The packer's usage text, on standard error.
void print_pack_usage(const char* program_name) noexcept;

}  // namespace mthc
