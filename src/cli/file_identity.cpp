#include "cli/file_identity.hpp"

#ifdef _WIN32
#include <windows.h>

#include "cli/wide_path.hpp"
#else
#include <sys/stat.h>
#endif

namespace mthc {

std::optional<file_identity> identity_of(const char* path) noexcept {
#ifdef _WIN32
  // The volume and the file index: what Windows has for a device and an
  // inode (its stat gives no inode). The wide function takes a path of any
  // length (see wide_path.hpp).
  std::wstring wide;
  if (!to_wide_path(path, wide)) return std::nullopt;
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL ok = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  if (ok == 0) return std::nullopt;
  return file_identity{information.dwVolumeSerialNumber,
                       std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
#else
  struct stat status {};
  if (stat(path, &status) != 0) return std::nullopt;
  return file_identity{static_cast<std::uint64_t>(status.st_dev),
                       static_cast<std::uint64_t>(status.st_ino)};
#endif
}

}  // namespace mthc
