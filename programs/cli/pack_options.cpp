#include "cli/pack_options.hpp"

#include <cstring>

#include "cli/pack_usage_text.hpp"
#include "cli/shown_name.hpp"

namespace mthc::cli {

namespace {

bool is(const char* argument, const char* name) noexcept {
  return std::strcmp(argument, name) == 0;
}

// Sets the mode, unless another one was set before.
bool set_mode(pack_arguments& options, pack_mode mode) noexcept {
  if (options.mode != pack_mode::automatic && options.mode != mode) return false;
  options.mode = mode;
  return true;
}

// The flags that short options stand for, alone or bundled.
enum class flag_result { done, unknown, conflict };

flag_result apply_short_flag(pack_arguments& options, char flag) noexcept {
  switch (flag) {
    case 'd':
      return set_mode(options, pack_mode::decompress) ? flag_result::done : flag_result::conflict;
    case 't':
      return set_mode(options, pack_mode::test) ? flag_result::done : flag_result::conflict;
    case 'l':
      return set_mode(options, pack_mode::list) ? flag_result::done : flag_result::conflict;
    case 'c':
      options.to_stdout = true;
      return flag_result::done;
    case 'f':
      options.force = true;
      return flag_result::done;
    case 'q':
      options.quiet = true;
      return flag_result::done;
    case 'r':
      options.recursive = true;
      return flag_result::done;
    case 'v':
      options.verbose = true;
      return flag_result::done;
    case '1':
      options.level = encode_level::fast;
      return flag_result::done;
    case '9':
      options.level = encode_level::best;
      return flag_result::done;
    default:
      return flag_result::unknown;
  }
}

struct long_flag {
  const char* name;
  char short_form;  // the short option it is another name for, or 0
};

constexpr long_flag k_long_flags[] = {
    {"--decompress", 'd'}, {"--test", 't'},      {"--list", 'l'},    {"--stdout", 'c'},
    {"--force", 'f'},      {"--quiet", 'q'},     {"--verbose", 'v'}, {"--fast", '1'},
    {"--best", '9'},       {"--recursive", 'r'},
};

}  // namespace

pack_parse_result parse_pack_options(std::span<const char* const> arguments) {
  pack_parse_result result;
  pack_arguments& options = result.options;
  const auto fail = [&result](pack_action action, const char* argument) {
    result.action = action;
    result.argument = argument;
    return result;
  };
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const char* argument = arguments[i];
    if (options_ended || argument[0] != '-' || is(argument, "-")) {
      options.inputs.push_back(argument);
      continue;
    }
    if (is(argument, "--")) {
      options_ended = true;
      continue;
    }
    if (is(argument, "-h") || is(argument, "--help")) return fail(pack_action::help, nullptr);
    if (is(argument, "--version")) return fail(pack_action::version, nullptr);
    if (is(argument, "--strict")) {
      options.strict = true;
      continue;
    }
    if (is(argument, "--json")) {
      options.json = true;
      continue;
    }
    if (is(argument, "--as-is")) {
      options.as_is = true;
      continue;
    }
    if (is(argument, "-o") || is(argument, "--output")) {
      if (i + 1 == arguments.size()) return fail(pack_action::missing_value, argument);
      options.output_path = arguments[++i];
      continue;
    }
    if (std::strncmp(argument, "--output=", 9) == 0) {
      options.output_path = argument + 9;
      continue;
    }
    if (argument[1] == '-') {
      const long_flag* found = nullptr;
      for (const long_flag& f : k_long_flags) {
        if (is(argument, f.name)) found = &f;
      }
      if (found == nullptr) return fail(pack_action::unknown_option, argument);
      if (apply_short_flag(options, found->short_form) == flag_result::conflict) {
        return fail(pack_action::conflicting_modes, argument);
      }
      continue;
    }
    // Bundled short options; "-o" may end a bundle with its value attached.
    for (const char* p = argument + 1; *p != '\0'; ++p) {
      if (*p == 'o') {
        if (p[1] != '\0') {
          options.output_path = p + 1;
        } else if (i + 1 < arguments.size()) {
          options.output_path = arguments[++i];
        } else {
          return fail(pack_action::missing_value, argument);
        }
        break;
      }
      switch (apply_short_flag(options, *p)) {
        case flag_result::done:
          break;
        case flag_result::unknown:
          return fail(pack_action::unknown_option, argument);
        case flag_result::conflict:
          return fail(pack_action::conflicting_modes, argument);
      }
    }
  }
  // An empty path is no file, and not standard output either (-c is): it
  // would bypass the refusal to write binary data to a terminal.
  if (options.output_path != nullptr && options.output_path[0] == '\0') {
    return fail(pack_action::empty_path, "-o");
  }
  // -v and --json say how to list: without -l they would be ignored, and
  // the files packed or unpacked instead of listed.
  if (options.mode != pack_mode::list && (options.verbose || options.json)) {
    return fail(pack_action::needs_list, options.json ? "--json" : "-v");
  }
  // --as-is says how to unpack: -t would pass what -d then refuses, and -l
  // shows the music as it is anyway.
  if (options.as_is && (options.mode == pack_mode::test || options.mode == pack_mode::list)) {
    return fail(pack_action::needs_unpacking, "--as-is");
  }
  // --strict says how to pack: -d, -t and -l pack nothing, and would take it
  // for a stricter check than they make.
  if (options.strict && options.mode != pack_mode::automatic) {
    return fail(pack_action::needs_packing, "--strict");
  }
  return result;
}

void print_pack_usage(std::FILE* stream, const char* program_name) noexcept {
  std::fprintf(stream, k_pack_usage, printable_name(program_name).c_str());
}

}  // namespace mthc::cli
