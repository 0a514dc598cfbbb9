#include "cli/write_output_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "container/file_handle.hpp"

namespace mthc {

int write_output_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
  file_handle file(std::fopen(path, "wb"));
  if (!file) {
    std::fprintf(stderr, "Error: cannot create '%s': %s\n", path, std::strerror(errno));
    return 1;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    std::fprintf(stderr, "Error: failed writing '%s'\n", path);
    return 1;  // closed by the handle, its result ignored
  }
  // Buffered data reaches the disk here, so a full disk often shows up only now.
  if (std::fclose(file.release()) != 0) {
    std::fprintf(stderr, "Error: failed closing '%s': %s\n", path, std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace mthc
