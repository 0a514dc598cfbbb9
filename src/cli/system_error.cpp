#include "cli/system_error.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mthc {

void print_system_error(const char* what, const char* path) noexcept {
  const char* text = std::strerror(errno);
  std::fprintf(stderr, "Error: %s '%s': %s\n", what, path, text);
}

}  // namespace mthc
