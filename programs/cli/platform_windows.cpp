// The Windows half of platform.hpp.
//
// The programs hold every path as UTF-8: their manifest makes UTF-8 the
// process code page, so argv arrives in UTF-8. Every call that takes a path
// converts it to UTF-16 here, into fixed storage (no allocation, so running
// out of memory cannot fail a path), and calls the wide function, which
// takes a path of any length.
#include "cli/platform_windows.hpp"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>

#include "cli/platform.hpp"

namespace mthc::cli {

namespace windows {

// FILETIME counts 100-nanosecond steps since 1601-01-01.
constexpr std::int64_t k_1601_to_1970 = 116444736000000000;

bool to_wide(const char* path, wchar_t* wide) noexcept {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide,
                                         static_cast<int>(k_wide_path_capacity));
  if (length > 0) return true;
  errno = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG : EINVAL;
  return false;
}

int errno_of(DWORD error) noexcept {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    default:
      return EACCES;  // access denied, sharing and lock violations, write protection, ...
  }
}

void set_errno_from_system() noexcept {
  errno = errno_of(GetLastError());
}

FILETIME filetime_of(std::int64_t ns) noexcept {
  const auto ticks = static_cast<std::uint64_t>(ns / 100 + k_1601_to_1970);
  FILETIME time{};
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace windows

namespace {

using windows::errno_of;
using windows::k_1601_to_1970;
using windows::k_wide_path_capacity;
using windows::set_errno_from_system;
using windows::to_wide;
using windows::wide_path;

std::int64_t nanoseconds(const FILETIME& time) noexcept {
  const auto ticks =
      static_cast<std::int64_t>(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  return (ticks - k_1601_to_1970) * 100;
}

constexpr DWORD k_share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

// ---- The console and the standard streams ------------------------------

const char* path_separators() noexcept {
  return "/\\";
}

bool names_ignore_case() noexcept {
  return true;
}

bool is_terminal(std::FILE* stream) noexcept {
  return _isatty(_fileno(stream)) != 0;
}

void use_binary_standard_streams() noexcept {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

UINT g_previous_output_code_page = 0;

extern "C" void restore_output_code_page() {
  // What is still buffered goes out in the code page it was written for.
  std::fflush(stdout);
  std::fflush(stderr);
  SetConsoleOutputCP(g_previous_output_code_page);
}

}  // namespace

void use_utf8_console() noexcept {
  const UINT previous = GetConsoleOutputCP();  // 0 without a console
  if (previous == 0 || previous == CP_UTF8) return;
  if (SetConsoleOutputCP(CP_UTF8) == 0) return;
  g_previous_output_code_page = previous;
  std::atexit(restore_output_code_page);
}

void wait_for_enter_in_own_console() noexcept {
  // A console made for this program alone: a command prompt, or any program
  // that started this one in its console, would be in the list too.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode) == 0) return;  // standard input is not the console

  // Keys pressed while the program ran do not count.
  FlushConsoleInputBuffer(input);
  std::fflush(stdout);
  std::fputs("Press Enter to close this window.\n", stderr);
  std::fflush(stderr);
  wchar_t line[64];
  for (;;) {
    DWORD count = 0;
    if (ReadConsoleW(input, line, 64, &count, nullptr) == 0 || count == 0) return;
    // A line longer than the buffer comes in pieces: up to the one with Enter.
    if (std::wmemchr(line, L'\r', count) != nullptr ||
        std::wmemchr(line, L'\n', count) != nullptr) {
      return;
    }
  }
}

// ---- Looking up files ---------------------------------------------------

bool look_up(const char* path, links how, file_status& status) noexcept {
  wide_path wide;
  if (!to_wide(path, wide)) return false;
  // Attributes only: such a handle is allowed whatever others share, and
  // opens folders (backup semantics) and, not followed, links themselves.
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (how == links::not_followed) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const HANDLE handle =
      CreateFileW(wide, FILE_READ_ATTRIBUTES, k_share_all, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_system();
    return false;
  }
  status = file_status{};
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
      status.kind = path_kind::device;
      break;
    case FILE_TYPE_PIPE:
      status.kind = path_kind::fifo;
      break;
    case FILE_TYPE_DISK: {
      BY_HANDLE_FILE_INFORMATION information{};
      if (GetFileInformationByHandle(handle, &information) == 0) {
        set_errno_from_system();
        CloseHandle(handle);
        return false;
      }
      const DWORD attributes = information.dwFileAttributes;
      if (how == links::not_followed && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        status.kind = path_kind::link;
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        status.kind = path_kind::directory;
      } else {
        status.kind = path_kind::regular;
      }
      // What Windows has for a device and an inode (its stat gives no inode).
      status.identity = {
          information.dwVolumeSerialNumber,
          std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
      status.permissions = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
      status.accessed_ns = nanoseconds(information.ftLastAccessTime);
      status.modified_ns = nanoseconds(information.ftLastWriteTime);
      break;
    }
    default:
      status.kind = path_kind::other;
      break;
  }
  CloseHandle(handle);
  return true;
}

std::optional<file_identity> identity_of(const char* path) noexcept {
  file_status status;
  // Devices have no volume and index to tell them apart.
  if (!look_up(path, links::followed, status) ||
      (status.kind != path_kind::regular && status.kind != path_kind::directory)) {
    return std::nullopt;
  }
  return status.identity;
}

bool may_write(const char* path) noexcept {
  wide_path wide;
  if (!to_wide(path, wide)) return false;
  const DWORD attributes = GetFileAttributesW(wide);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

std::uint32_t creation_mask() noexcept {
  return 0;
}

// ---- Reading ------------------------------------------------------------

std::FILE* open_for_reading(const char* path) noexcept {
  wide_path wide;
  if (!to_wide(path, wide)) return nullptr;
  return _wfopen(wide, L"rb");
}

path_kind kind_of_open_file(std::FILE* file) noexcept {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return path_kind::other;
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
      return path_kind::device;
    case FILE_TYPE_PIPE:
      return path_kind::fifo;
    case FILE_TYPE_DISK:
      return path_kind::regular;  // a folder is not opened as a stream
    default:
      return path_kind::other;
  }
}

int seek_to(std::FILE* file, int origin) noexcept {
  return _fseeki64(file, 0, origin);
}

std::int64_t position_of(std::FILE* file) noexcept {
  return _ftelli64(file);
}

int too_large_errno() noexcept {
  return EFBIG;
}

// ---- Writing ------------------------------------------------------------

std::FILE* open_device_for_writing(const char* path, path_kind& kind) noexcept {
  kind = path_kind::other;
  wide_path wide;
  if (!to_wide(path, wide)) return nullptr;
  // OPEN_EXISTING: nothing is created or truncated, and a file that took the
  // device's place meanwhile is left untouched.
  const HANDLE handle = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_system();
    return nullptr;
  }
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
    kind = type == FILE_TYPE_DISK ? path_kind::regular : path_kind::other;
    CloseHandle(handle);
    errno = EINVAL;
    return nullptr;
  }
  kind = type == FILE_TYPE_CHAR ? path_kind::device : path_kind::fifo;
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  _setmode(descriptor, _O_BINARY);
  std::FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}

}  // namespace mthc::cli
