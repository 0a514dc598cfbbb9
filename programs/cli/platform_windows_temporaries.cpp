// The Windows half of platform.hpp's temporary files: each created beside
// its target with the wide API, and removed by the console handler when the
// run is ended from outside.
#include <process.h>
#include <windows.h>

#include <cerrno>
#include <cwchar>

#include "cli/platform.hpp"
#include "cli/platform_windows.hpp"

namespace mthc::cli {

using windows::errno_of;
using windows::filetime_of;
using windows::k_wide_path_capacity;
using windows::set_errno_from_system;
using windows::to_wide;
using windows::wide_path;

namespace {

// The temporary files, in fixed storage, as the console handler, which runs
// on a thread of its own, uses them too. The lock keeps the handler out
// while one is created, renamed or removed, so that it removes exactly the
// files that exist under their temporary names.
struct temporary_state {
  wide_path target;
  wide_path name;  // the temporary file's path
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool exists = false;
  bool waits_for_sync = false;
};
temporary_state g_temporaries[k_max_temporaries];
SRWLOCK g_temporary_lock = SRWLOCK_INIT;

struct temporary_locked {
  temporary_locked() noexcept { AcquireSRWLockExclusive(&g_temporary_lock); }
  ~temporary_locked() { ReleaseSRWLockExclusive(&g_temporary_lock); }
  temporary_locked(const temporary_locked&) = delete;
  temporary_locked& operator=(const temporary_locked&) = delete;
};

BOOL WINAPI remove_temporary_and_end(DWORD /*event*/) {
  // The lock stays taken: the run ends, and the writer must not rename a
  // file meanwhile. A file still open is deleted as its sharing allows:
  // it is gone once the process has ended.
  AcquireSRWLockExclusive(&g_temporary_lock);
  for (temporary_state& slot : g_temporaries) {
    if (slot.exists) DeleteFileW(slot.name);
    slot.exists = false;
  }
  // Ended with the status the system's own handler gives (wine's gives 0, as
  // if the run had succeeded), and at once, as a signal ends a POSIX program:
  // the other thread may hold the runtime's locks.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// The longest name a file may have, in UTF-16 units (NTFS, FAT's long names).
constexpr std::size_t k_name_max = 255;

// Appends `text` at `at` in `path`; false when it does not fit.
bool append(wchar_t* path, std::size_t& at, const wchar_t* text) noexcept {
  const std::size_t n = std::wcslen(text);
  if (at + n >= k_wide_path_capacity) return false;
  std::wmemcpy(path + at, text, n + 1);
  at += n;
  return true;
}

bool append_number(wchar_t* path, std::size_t& at, unsigned long value) noexcept {
  wchar_t digits[24];
  std::size_t i = sizeof digits / sizeof digits[0] - 1;
  digits[i] = L'\0';
  do {
    digits[--i] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return append(path, at, digits + i);
}

// Names the temporary file of `slot`: the target's folder, then the name;
// false when the name would be longer than a name may be.
bool name_temporary(temporary_state& slot, std::size_t folder_length, const wchar_t* target_name,
                    bool short_form, int attempt) noexcept {
  wchar_t* path = slot.name;
  std::wmemcpy(path, slot.target, folder_length);
  std::size_t at = folder_length;
  path[at] = L'\0';
  const bool fits = short_form ? append(path, at, L".mthc-")
                               : append(path, at, L".") && append(path, at, target_name) &&
                                     append(path, at, L".");
  if (!fits || !append_number(path, at, static_cast<unsigned long>(_getpid())) ||
      !append(path, at, L"-") || !append_number(path, at, static_cast<unsigned long>(attempt)) ||
      !append(path, at, L".tmp")) {
    return false;
  }
  return at - folder_length <= k_name_max;
}

bool is_free(const temporary_state& slot) noexcept {
  return !slot.exists && slot.handle == INVALID_HANDLE_VALUE;
}

// The attempts share one count across the run's temporary files, so that
// the first name tried is new.
int g_attempts = 0;

void close_handle(temporary_state& slot) noexcept {
  if (slot.handle == INVALID_HANDLE_VALUE) return;
  CloseHandle(slot.handle);
  slot.handle = INVALID_HANDLE_VALUE;
}

}  // namespace

void remove_temporary_on_signals() noexcept {
  // Ctrl-C, Ctrl-Break, closing the console window, logging off and shutting
  // down. Ctrl-C inherited as ignored never reaches a handler.
  SetConsoleCtrlHandler(remove_temporary_and_end, TRUE);
}

bool temporaries_full() noexcept {
  for (const temporary_state& slot : g_temporaries) {
    if (is_free(slot)) return false;
  }
  return true;
}

int create_temporary_beside(const char* target) noexcept {
  int t = 0;
  while (t < k_max_temporaries && !is_free(g_temporaries[t]))
    ++t;
  if (t == k_max_temporaries) {
    errno = EMFILE;
    return -1;
  }
  temporary_state& slot = g_temporaries[t];
  if (!to_wide(target, slot.target)) return -1;
  // The folder ends at the last separator, or after a drive ("C:name").
  std::size_t folder_length = 0;
  for (std::size_t i = 0; slot.target[i] != L'\0'; ++i) {
    if (slot.target[i] == L'\\' || slot.target[i] == L'/' || (i == 1 && slot.target[i] == L':')) {
      folder_length = i + 1;
    }
  }
  const wchar_t* name = slot.target + folder_length;
  if (*name == L'\0') {
    errno = folder_length == 0 ? ENOENT : EISDIR;
    return -1;
  }
  bool short_form = false;
  for (int tries = 0; tries < 100; ++tries) {
    const int attempt = g_attempts++;
    if (!short_form && !name_temporary(slot, folder_length, name, false, attempt)) {
      short_form = true;
    }
    if (short_form && !name_temporary(slot, folder_length, name, true, attempt)) {
      errno = ENAMETOOLONG;
      return -1;
    }
    const temporary_locked locked;
    // CREATE_NEW: never an existing file, nor a link under this name.
    // Deletion is shared, so that the console handler can remove the file
    // while it is open.
    const HANDLE handle = CreateFileW(slot.name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      slot.handle = handle;
      slot.exists = true;
      slot.waits_for_sync = false;
      // What was opened: a new regular file, with this one name.
      BY_HANDLE_FILE_INFORMATION information{};
      if (GetFileType(handle) != FILE_TYPE_DISK ||
          GetFileInformationByHandle(handle, &information) == 0 ||
          (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
          information.nNumberOfLinks != 1) {
        close_handle(slot);
        DeleteFileW(slot.name);
        slot.exists = false;
        errno = EEXIST;
        return -1;
      }
      return t;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILENAME_EXCED_RANGE && !short_form) {
      short_form = true;
      --tries;
      continue;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      errno = errno_of(error);
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

bool write_temporary(int t, std::span<const std::uint8_t> bytes) noexcept {
  while (!bytes.empty()) {
    const DWORD chunk =
        bytes.size() < (DWORD{1} << 30) ? static_cast<DWORD>(bytes.size()) : (DWORD{1} << 30);
    DWORD written = 0;
    if (WriteFile(g_temporaries[t].handle, bytes.data(), chunk, &written, nullptr) == 0) {
      set_errno_from_system();
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

void set_temporary_metadata(int t, std::uint32_t /*permissions*/,
                            const file_status* times) noexcept {
  // Windows files have no permission bits; their access comes from the
  // folder they are in, as it does for a file any program creates there.
  if (times == nullptr) return;
  const FILETIME accessed = filetime_of(times->accessed_ns);
  const FILETIME modified = filetime_of(times->modified_ns);
  SetFileTime(g_temporaries[t].handle, nullptr, &accessed, &modified);
}

namespace {

// Flushes and closes the slot's file; false with errno set.
bool flush_and_close(temporary_state& slot) noexcept {
  const bool flushed = FlushFileBuffers(slot.handle) != 0;
  const DWORD flush_error = GetLastError();
  const bool closed = CloseHandle(slot.handle) != 0;
  const DWORD close_error = GetLastError();
  slot.handle = INVALID_HANDLE_VALUE;
  slot.waits_for_sync = false;
  if (!flushed) {
    errno = errno_of(flush_error);
  } else if (!closed) {
    errno = errno_of(close_error);
  }
  return flushed && closed;
}

}  // namespace

bool finish_temporary(int t, flush when) noexcept {
  temporary_state& slot = g_temporaries[t];
  if (when == flush::with_others) {
    // Open until then: Windows flushes a file through its handle (a whole
    // volume only for administrators).
    slot.waits_for_sync = true;
    return true;
  }
  return flush_and_close(slot);
}

bool sync_temporaries() noexcept {
  bool all = true;
  int error = 0;
  for (temporary_state& slot : g_temporaries) {
    if (!slot.waits_for_sync) continue;
    if (!flush_and_close(slot)) {
      all = false;
      error = errno;
    }
  }
  if (!all) errno = error;
  return all;
}

bool move_temporary_into_place(int t, bool replace) noexcept {
  temporary_state& slot = g_temporaries[t];
  const temporary_locked locked;
  close_handle(slot);  // not when it was synced
  slot.waits_for_sync = false;
  // Without MOVEFILE_REPLACE_EXISTING the rename fails where anything exists:
  // the check and the rename are one step.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(slot.name, slot.target, flags) == 0) {
    set_errno_from_system();
    return false;
  }
  slot.exists = false;  // it is the output now
  return true;
}

void remove_temporary(int t) noexcept {
  temporary_state& slot = g_temporaries[t];
  const temporary_locked locked;
  const int error = errno;
  close_handle(slot);
  slot.waits_for_sync = false;
  if (slot.exists) DeleteFileW(slot.name);
  slot.exists = false;
  errno = error;
}

void remove_temporaries() noexcept {
  for (int t = 0; t < k_max_temporaries; ++t)
    remove_temporary(t);
}

}  // namespace mthc::cli
