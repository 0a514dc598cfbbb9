#include "container/load_container.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "container/file_handle.hpp"

namespace mthc {

namespace {

// 64-bit position calls, so that a file of 2 GiB or more is seen as such
// rather than as a wrapped 32-bit position.
int seek(std::FILE* file, int origin) noexcept {
#ifdef _WIN32
  return _fseeki64(file, 0, origin);
#else
  return fseeko(file, 0, origin);
#endif
}

std::int64_t tell(std::FILE* file) noexcept {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

// The errno for a file too large to count: what POSIX's ftell reports for a
// position its type cannot hold. msvcrt.dll's strerror knows only the classic
// errno values and says "Unknown error" for EOVERFLOW, so on Windows the older
// EFBIG ("File too large") says it instead.
#ifdef _WIN32
constexpr int k_too_large_errno = EFBIG;
#else
constexpr int k_too_large_errno = EOVERFLOW;
#endif

}  // namespace

bool load_container(const char* path, byte_buffer& image) noexcept {
  image = byte_buffer{};
  file_handle file(std::fopen(path, "rb"));
  if (!file) {
    std::fprintf(stderr, "Error: cannot open '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  if (seek(file.get(), SEEK_END) != 0) {
    std::fprintf(stderr, "Error: cannot seek '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  // Some systems open a directory for reading, give it a meaningless size and
  // only fail when it is read, so its first byte is read before the size is
  // taken, and such a path is refused as unopenable with the system's reason.
  // This comes after the first seek so that a pipe, which cannot seek, is
  // refused before anything waits for its data.
  if (seek(file.get(), SEEK_SET) == 0 && std::fgetc(file.get()) == EOF &&
      std::ferror(file.get()) != 0) {
    std::fprintf(stderr, "Error: cannot open '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  if (seek(file.get(), SEEK_END) != 0) {
    std::fprintf(stderr, "Error: cannot seek '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  const std::int64_t position = tell(file.get());
  if (position > k_max_container_size) errno = k_too_large_errno;
  if (position < 0 || position > k_max_container_size) {
    std::fprintf(stderr, "Error: cannot determine size of '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  const auto size = static_cast<std::int32_t>(position);
  if (seek(file.get(), SEEK_SET) != 0) {
    std::fprintf(stderr, "Error: cannot rewind '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  if (size == 0) {
    std::fprintf(stderr, "Error: file is too small to be an MThc container\n");
    return false;
  }
  if (!set_capacity(image, static_cast<std::size_t>(size))) {
    std::fprintf(stderr, "Error: out of memory allocating %ld bytes\n", static_cast<long>(size));
    return false;
  }
  if (std::fread(image.data.get(), 1, image.capacity, file.get()) != image.capacity) {
    std::fprintf(stderr, "Error: failed reading '%s'\n", path);
    image = byte_buffer{};
    return false;
  }
  image.length = image.capacity;
  return true;  // the close is not checked: everything has been read
}

}  // namespace mthc
