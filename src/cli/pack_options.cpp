#include "cli/pack_options.hpp"

#include <cstdio>
#include <cstring>

namespace mthc {

namespace {

bool is(const char* argument, const char* name) {
  return std::strcmp(argument, name) == 0;
}

}  // namespace

pack_parse_result parse_pack_options(std::span<const char* const> arguments) noexcept {
  pack_parse_result result;
  for (const char* argument : arguments) {
    if (is(argument, "-1") || is(argument, "--fast")) {
      result.options.level = encode_level::fast;
    } else if (is(argument, "-9") || is(argument, "--best")) {
      result.options.level = encode_level::best;
    } else if (is(argument, "-h") || is(argument, "--help")) {
      result.action = pack_action::help;
      return result;
    } else if (is(argument, "--version")) {
      result.action = pack_action::version;
      return result;
    } else if (argument[0] == '-' && argument[1] != '\0') {
      result.action = pack_action::unknown_option;
      result.argument = argument;
      return result;
    } else if (result.options.input_path == nullptr) {
      result.options.input_path = argument;
    } else if (result.options.output_path == nullptr) {
      result.options.output_path = argument;
    } else {
      result.action = pack_action::unexpected_argument;
      result.argument = argument;
      return result;
    }
  }
  result.action =
      result.options.output_path != nullptr ? pack_action::run : pack_action::usage_error;
  return result;
}

void print_pack_usage(const char* program_name) noexcept {
  std::fprintf(stderr,
               "MThc packer\n"
               "Usage: %s [options] <input.mid> <output.mthc>\n"
               "\n"
               "Options:\n"
               "  -9, --best                 Smallest output (default)\n"
               "  -1, --fast                 Fastest packing, for large files\n"
               "  -h, --help                 Show this text\n"
               "  --version                  Show the version\n",
               program_name);
}

}  // namespace mthc
