#include "cli/system_error.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/shown_name.hpp"

namespace mthc {

void print_system_error(const char* what, const char* path) noexcept {
  const char* text = std::strerror(errno);
  std::fprintf(stderr, "Error: %s '%s': %s\n", what, printable_name(path).c_str(), text);
}

}  // namespace mthc
