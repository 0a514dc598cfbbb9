// Paths for the wide (UTF-16) functions of Windows.
//
// The programs hold every path as UTF-8 on every system: their manifest
// makes UTF-8 the process code page, so argv arrives in UTF-8 and the C
// runtime and the system's ...A functions take such a path as it is. Some of
// those functions still copy the path into a buffer of 260 characters on its
// way to the wide function beneath and fail on a longer one (CreateFileA,
// MoveFileExA and msvcrt's _stat64, under wine), so those calls go to the
// wide functions directly, with the path converted here.
#pragma once

#include <string>

namespace mthc {

// `path` (UTF-8) in UTF-16. False, with errno set, when it is not UTF-8 or
// memory runs out.
bool to_wide_path(const char* path, std::wstring& wide) noexcept;

}  // namespace mthc
