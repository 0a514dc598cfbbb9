// Command-line options of the packer, in the shape people know from gzip and
// zstd: short options may be bundled ("-dc"), "-o" takes a value ("-o PATH"
// or "-oPATH", "--output PATH" or "--output=PATH"), "--" ends the options,
// and "-" is standard input.
#pragma once

#include <cstdio>
#include <mthc/encode_block.hpp>
#include <span>
#include <vector>

namespace mthc::cli {

enum class pack_mode {
  automatic,   // MIDI files are packed, containers unpacked
  decompress,  // -d: containers are unpacked
  test,        // -t: containers are checked, nothing is written
  list,        // -l: one line per file
};

struct pack_arguments {
  pack_mode mode = pack_mode::automatic;
  encode_level level = encode_level::best;
  bool strict = false;
  // -d, and containers in the automatic mode: a container whose music does
  // not read is unpacked as it is stored.
  bool as_is = false;
  bool force = false;
  bool to_stdout = false;
  bool quiet = false;
  bool verbose = false;
  bool json = false;
  // -r: the folders among the inputs stand for the files in them and below.
  bool recursive = false;
  const char* output_path = nullptr;  // -o
  // The files, as given ("-" for standard input); none means standard input.
  std::vector<const char*> inputs;
};

enum class pack_action {
  run,                // options are complete
  help,               // -h or --help: usage text on standard output, exit status 0
  version,            // --version: the version on standard output, exit status 0
  unknown_option,     // an error line naming `argument`, usage text, exit status 1
  missing_value,      // -o without its path: an error line, usage text, exit status 1
  empty_path,         // -o '': an error line, usage text, exit status 1
  conflicting_modes,  // two of -d, -t, -l: an error line, usage text, exit status 1
  needs_list,         // -v or --json without -l: an error line, usage text, exit status 1
  needs_unpacking,    // --as-is with -t or -l: an error line, usage text, exit status 1
  needs_packing,      // --strict with -d, -t or -l: an error line, usage text, exit status 1
};

struct pack_parse_result {
  pack_action action = pack_action::run;
  pack_arguments options;
  const char* argument = nullptr;
};

// `arguments` excludes the program name. Parsing stops at help or at the
// first bad argument. Throws std::bad_alloc.
pack_parse_result parse_pack_options(std::span<const char* const> arguments);

// The packer's usage text, on `stream`.
void print_pack_usage(std::FILE* stream, const char* program_name) noexcept;

}  // namespace mthc::cli
