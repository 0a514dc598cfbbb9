#include "cli/safe_output.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "cli/file_handle.hpp"
#include "cli/system_error.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include "cli/wide_path.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mthc {

namespace {

#ifdef _WIN32
using file_status = struct _stat64;
int status_of(const char* path, file_status& status) noexcept {
  // The wide function takes a path of any length (see wide_path.hpp).
  std::wstring wide;
  if (!to_wide_path(path, wide)) return -1;
  return _wstat64(wide.c_str(), &status);
}
bool is_regular(const file_status& status) noexcept {
  return (status.st_mode & _S_IFMT) == _S_IFREG;
}
bool is_directory(const file_status& status) noexcept {
  return (status.st_mode & _S_IFMT) == _S_IFDIR;
}
int open_new(const char* path) noexcept {
  return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int remove_file(const char* path) noexcept {
  return _unlink(path);
}
int flush_to_disk(std::FILE* file) noexcept {
  return _commit(_fileno(file));
}
std::FILE* stream_of(int descriptor) noexcept {
  std::FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}
int process_id() noexcept {
  return _getpid();
}
#else
using file_status = struct stat;
int status_of(const char* path, file_status& status) noexcept {
  return stat(path, &status);
}
bool is_regular(const file_status& status) noexcept {
  return S_ISREG(status.st_mode);
}
bool is_directory(const file_status& status) noexcept {
  return S_ISDIR(status.st_mode);
}
int open_new(const char* path) noexcept {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int remove_file(const char* path) noexcept {
  return unlink(path);
}
int flush_to_disk(std::FILE* file) noexcept {
  return fsync(fileno(file));
}
std::FILE* stream_of(int descriptor) noexcept {
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}
int process_id() noexcept {
  return static_cast<int>(getpid());
}
#endif

// The temporary file being written, for the interruption handler: a fixed
// buffer, as a handler may only touch what needs no allocation.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporary_exists = 0;

extern "C" void remove_temporary_and_stop(int signal_number) {
  if (g_temporary_exists != 0) remove_file(g_temporary);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// The temporary file, registered while it exists.
struct temporary_file {
  std::string path;

  // Creates the file, which must not exist yet, and opens it for writing;
  // null (errno set) when it cannot.
  std::FILE* create(const std::string& target) {
    // Beside the target, so that the rename stays within one file system,
    // and named after it, so that a leftover says what it was.
#ifdef _WIN32
    const std::size_t slash = target.find_last_of("/\\");
#else
    const std::size_t slash = target.find_last_of('/');
#endif
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      path = directory;
      path += '.';
      path += name;
      path += '.' + std::to_string(process_id()) + '-' + std::to_string(attempt) + ".tmp";
      if (path.size() >= sizeof g_temporary) {
        errno = ENAMETOOLONG;
        return nullptr;
      }
      const int descriptor = open_new(path.c_str());
      if (descriptor >= 0) {
        std::memcpy(g_temporary, path.c_str(), path.size() + 1);
        g_temporary_exists = 1;
        return stream_of(descriptor);
      }
      if (errno != EEXIST) return nullptr;
    }
    return nullptr;
  }

  void remove() noexcept {
    if (g_temporary_exists == 0) return;
    g_temporary_exists = 0;
    remove_file(path.c_str());
  }

  ~temporary_file() {
    remove();
  }
};

// Writes the whole file and flushes it to the disk; errno tells why not.
bool write_all(std::FILE* file, std::span<const std::uint8_t> bytes, bool to_disk) noexcept {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    return false;
  }
  if (std::fflush(file) != 0) return false;
  return !to_disk || flush_to_disk(file) == 0;
}

// Renames `from` to `to`, replacing `to` only when `overwrite` is set.
// Returns 0, EEXIST when `to` exists and may not be replaced, or the
// system's reason.
int move_into_place(const char* from, const char* to, bool overwrite) noexcept {
#ifdef _WIN32
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
  std::wstring wide_from;
  std::wstring wide_to;
  if (!to_wide_path(from, wide_from) || !to_wide_path(to, wide_to)) return errno;
  if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), flags) != 0) return 0;
  switch (GetLastError()) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EACCES;
  }
#else
  if (overwrite) return std::rename(from, to) == 0 ? 0 : errno;
  // A hard link is made only where nothing exists: no file that appears
  // between a check and the rename is replaced.
  if (link(from, to) == 0) {
    unlink(from);
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // File systems without hard links: check, then rename.
  file_status status{};
  if (status_of(to, status) == 0) return EEXIST;
  return std::rename(from, to) == 0 ? 0 : errno;
#endif
}

void print_exists(const char* path) noexcept {
  std::fprintf(stderr, "Error: '%s' already exists; use -f to overwrite it\n", path);
}

// Devices and FIFOs are written as they are.
int write_directly(const char* path, std::span<const std::uint8_t> bytes) noexcept {
  file_handle file(std::fopen(path, "wb"));
  if (!file) {
    print_system_error("cannot create", path);
    return 1;
  }
  if (!write_all(file.get(), bytes, false)) {
    print_system_error("failed writing", path);
    return 1;
  }
  if (std::fclose(file.release()) != 0) {
    print_system_error("failed closing", path);
    return 1;
  }
  return 0;
}

}  // namespace

void prepare_safe_output() noexcept {
  std::signal(SIGINT, remove_temporary_and_stop);
  std::signal(SIGTERM, remove_temporary_and_stop);
#ifdef _WIN32
  std::signal(SIGBREAK, remove_temporary_and_stop);
#else
  std::signal(SIGHUP, remove_temporary_and_stop);
  // Beyond the file-size limit a write then fails with EFBIG, which is
  // reported, rather than ending the process with a partial file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool is_existing_file(const char* path) noexcept {
  file_status status{};
  return status_of(path, status) == 0 && is_regular(status);
}

int write_output_safely(const char* path, std::span<const std::uint8_t> bytes,
                        bool overwrite) noexcept {
  file_status status{};
  if (status_of(path, status) == 0) {
    if (is_directory(status)) {
      errno = EISDIR;
      print_system_error("cannot create", path);
      return 1;
    }
    if (!is_regular(status)) return write_directly(path, bytes);
    if (!overwrite) {
      print_exists(path);
      return 1;
    }
  }
  try {
    temporary_file temporary;
    {
      file_handle file(temporary.create(path));
      if (!file) {
        print_system_error("cannot create", path);
        return 1;
      }
      if (!write_all(file.get(), bytes, true)) {
        print_system_error("failed writing", path);
        return 1;
      }
      if (std::fclose(file.release()) != 0) {
        print_system_error("failed writing", path);
        return 1;
      }
    }
    const int moved = move_into_place(temporary.path.c_str(), path, overwrite);
    if (moved == EEXIST) {
      print_exists(path);
      return 1;
    }
    if (moved != 0) {
      errno = moved;
      print_system_error("cannot replace", path);
      return 1;
    }
    g_temporary_exists = 0;  // it is the output now
    return 0;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: out of memory while writing '%s'\n", path);
    return 1;
  }
}

}  // namespace mthc
