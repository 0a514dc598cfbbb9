#include "cli/usage.hpp"

#include <cstdio>

#include "cli/shown_name.hpp"

namespace mthc::cli {

void print_usage(const char* program_name) noexcept {
  std::fprintf(stderr,
               "MThc decompressor\n"
               "Usage: %s [options] <input.mid>\n"
               "\n"
               "Options:\n"
               "  -v, --verbose              Print payload preview\n"
               "  --extract-payload <path>   Write raw MThp payload to a file\n"
               "  --decompress <path>        Decompress MThc file and write MIDI to path\n",
               printable_name(program_name).c_str());
}

}  // namespace mthc::cli
