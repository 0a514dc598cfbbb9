#include "cli/report.hpp"

#include <cstdio>

namespace mthc {

int finish_standard_output(int status) noexcept {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "Error: failed writing to standard output\n");
    return 1;
  }
  return status;
}

}  // namespace mthc
