#include "cli/read_input_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "container/file_handle.hpp"

namespace mthc {

read_outcome read_input_file(const char* path, std::vector<std::uint8_t>& bytes) {
  file_handle file(std::fopen(path, "rb"));
  if (!file) {
    std::fprintf(stderr, "Error: cannot open '%s': %s\n", path, std::strerror(errno));
    return read_outcome::failed;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) {
    std::fprintf(stderr, "Error: cannot seek '%s': %s\n", path, std::strerror(errno));
    return read_outcome::failed;
  }
  const long size = std::ftell(file.get());
  if (size < 0) {
    std::fprintf(stderr, "Error: cannot determine size of '%s': %s\n", path, std::strerror(errno));
    return read_outcome::failed;
  }
  if (size > k_max_input_file_size) return read_outcome::too_large;
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    std::fprintf(stderr, "Error: cannot rewind '%s': %s\n", path, std::strerror(errno));
    return read_outcome::failed;
  }
  bytes.resize(static_cast<std::size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    std::fprintf(stderr, "Error: failed reading '%s'\n", path);
    return read_outcome::failed;
  }
  return read_outcome::ok;
}

}  // namespace mthc
