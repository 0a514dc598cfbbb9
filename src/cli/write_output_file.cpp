#include "cli/write_output_file.hpp"

#include <cstdio>

#include "cli/file_handle.hpp"
#include "cli/system_error.hpp"

namespace mthc {

int write_output_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
  file_handle file(std::fopen(path, "wb"));
  if (!file) {
    print_system_error("cannot create", path);
    return 1;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    std::fprintf(stderr, "Error: failed writing '%s'\n", path);
    return 1;  // closed by the handle, its result ignored
  }
  // Buffered data reaches the disk here, so a full disk often shows up only now.
  if (std::fclose(file.release()) != 0) {
    print_system_error("failed closing", path);
    return 1;
  }
  return 0;
}

}  // namespace mthc
