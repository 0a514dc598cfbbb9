// What the Windows half of platform.hpp shares between its files: paths in
// UTF-16 and the C library's numbers for the system's errors.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace mthc::cli::windows {

// The longest path the wide functions take, with its terminating null.
inline constexpr std::size_t k_wide_path_capacity = 32768;
using wide_path = wchar_t[k_wide_path_capacity];

// `path` (UTF-8) in UTF-16 into `wide` (k_wide_path_capacity units). False,
// with errno set, when it is not UTF-8 or too long.
bool to_wide(const char* path, wchar_t* wide) noexcept;

// The errno for a failed system call, as the C runtime maps them.
int errno_of(DWORD error) noexcept;

// errno from GetLastError().
void set_errno_from_system() noexcept;

// A time in nanoseconds since 1970-01-01 UTC as Windows keeps it.
FILETIME filetime_of(std::int64_t ns) noexcept;

}  // namespace mthc::cli::windows
