#include "cli/read_input_file.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/file_handle.hpp"
#include "cli/platform.hpp"
#include "cli/shown_name.hpp"

namespace mthc::cli {

read_result read_stream(std::FILE* file, const char* name, std::int64_t max_size,
                        byte_buffer& bytes) noexcept {
  bytes = byte_buffer{};
  read_result result;
  constexpr std::size_t k_first_capacity = std::size_t{1} << 16;
  const auto limit = static_cast<std::size_t>(max_size) + 1;
  for (;;) {
    if (bytes.length == bytes.capacity) {
      std::size_t capacity = bytes.capacity == 0 ? k_first_capacity : 2 * bytes.capacity;
      if (capacity > limit) capacity = limit;
      if (capacity == bytes.capacity) break;  // one byte more than allowed has arrived
      if (!set_capacity(bytes, capacity)) {
        bytes = byte_buffer{};
        result.status = read_status::out_of_memory;
        result.size = static_cast<std::int64_t>(capacity);
        return result;
      }
    }
    const std::size_t n =
        std::fread(bytes.data.get() + bytes.length, 1, bytes.capacity - bytes.length, file);
    bytes.length += n;
    if (n == 0) break;
  }
  if (std::ferror(file) != 0) {
    result.why = system_failure("failed reading", name);
    bytes = byte_buffer{};
    return result;
  }
  result.size = static_cast<std::int64_t>(bytes.length);
  result.head_length = std::min(bytes.length, result.head.size());
  if (result.head_length != 0)
    std::memcpy(result.head.data(), bytes.data.get(), result.head_length);
  if (bytes.length > static_cast<std::size_t>(max_size)) {
    bytes = byte_buffer{};
    result.status = read_status::too_large;
    return result;
  }
  result.status = bytes.length == 0 ? read_status::empty : read_status::ok;
  return result;
}

read_result read_input_file(const char* path, std::int64_t max_size, byte_buffer& bytes,
                            stream_input streams) noexcept {
  bytes = byte_buffer{};
  read_result result;
  file_handle file(open_for_reading(path));
  if (!file) {
    result.why = system_failure("cannot open", path);
    return result;
  }
  if (streams == stream_input::read && kind_of_open_file(file.get()) == path_kind::device) {
    return read_stream(file.get(), path, max_size, bytes);
  }
  if (seek_to(file.get(), SEEK_END) != 0) {
    if (streams == stream_input::read) return read_stream(file.get(), path, max_size, bytes);
    result.why = system_failure("cannot seek", path);
    return result;
  }
  // Some systems open a directory for reading, give it a meaningless size and
  // only fail when it is read, so its first bytes are read before the size is
  // taken, and such a path is refused as unopenable with the system's reason.
  // This comes after the first seek so that a pipe, which cannot seek, is
  // refused before anything waits for its data.
  if (seek_to(file.get(), SEEK_SET) == 0) {
    result.head_length = std::fread(result.head.data(), 1, result.head.size(), file.get());
    if (result.head_length == 0 && std::ferror(file.get()) != 0) {
      result.why = system_failure("cannot open", path);
      return result;
    }
  }
  if (seek_to(file.get(), SEEK_END) != 0) {
    result.why = system_failure("cannot seek", path);
    return result;
  }
  result.size = position_of(file.get());
  if (result.size < 0) {
    result.why = system_failure("cannot determine size of", path);
    return result;
  }
  if (result.size > max_size) {
    result.status = read_status::too_large;
    return result;
  }
  if (seek_to(file.get(), SEEK_SET) != 0) {
    result.why = system_failure("cannot rewind", path);
    return result;
  }
  if (result.size == 0) {
    result.status = read_status::empty;
    return result;
  }
  if (!set_capacity(bytes, static_cast<std::size_t>(result.size))) {
    result.status = read_status::out_of_memory;
    return result;
  }
  if (std::fread(bytes.data.get(), 1, bytes.capacity, file.get()) != bytes.capacity) {
    result.why = failure_of("failed reading '%s'", printable_name(path).c_str());
    bytes = byte_buffer{};
    return result;
  }
  bytes.length = bytes.capacity;
  result.status = read_status::ok;
  return result;  // the close is not checked: everything has been read
}

}  // namespace mthc::cli
