#include "cli/wide_path.hpp"

#include <windows.h>

#include <cerrno>
#include <new>

namespace mthc {

bool to_wide_path(const char* path, std::wstring& wide) noexcept {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) {
    errno = EINVAL;
    return false;
  }
  try {
    wide.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length);
  wide.pop_back();  // the terminating null, which the string keeps itself
  return true;
}

}  // namespace mthc
