// The Windows half of platform.hpp's folders, with the wide API like every
// other call that takes a path.
#include <windows.h>

#include <cerrno>
#include <cwchar>
#include <memory>

#include "cli/platform.hpp"
#include "cli/platform_windows.hpp"

namespace mthc::cli {

namespace {

struct search_closer {
  using pointer = HANDLE;
  void operator()(HANDLE search) const noexcept { FindClose(search); }
};

// A name in UTF-8, or false for one that is not Unicode (a lone surrogate).
bool to_utf8(const wchar_t* name, std::string& out) {
  const int length =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  out.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, out.data(), length, nullptr,
                      nullptr);
  out.pop_back();  // its terminating null
  return true;
}

// Whether a reparse point is a link (a symbolic link, a junction) rather
// than, say, a file or folder that a cloud service keeps (OneDrive's), which
// is what it seems.
bool is_link_tag(DWORD attributes, DWORD tag) noexcept {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag);
}

// Whether the file at `path` is itself such a link.
bool is_link(const wchar_t* path) noexcept {
  const HANDLE handle = CreateFileW(
      path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;  // the listing says why
  FILE_ATTRIBUTE_TAG_INFO information{};
  const bool link = GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &information,
                                                 sizeof information) != 0 &&
                    is_link_tag(information.FileAttributes, information.ReparseTag);
  CloseHandle(handle);
  return link;
}

}  // namespace

bool list_folder(const char* path, links how, std::vector<folder_entry>& entries) {
  entries.clear();
  windows::wide_path wide;
  if (!windows::to_wide(path, wide)) return false;
  if (how == links::not_followed && is_link(wide)) {
    errno = ENOTDIR;
    return false;
  }
  std::size_t length = std::wcslen(wide);
  const bool ends_in_separator =
      length > 0 && (wide[length - 1] == L'\\' || wide[length - 1] == L'/');
  const wchar_t* all = ends_in_separator ? L"*" : L"\\*";
  if (length + std::wcslen(all) >= windows::k_wide_path_capacity) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::wcscpy(wide + length, all);

  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW(wide, FindExInfoBasic, &found, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    // An empty drive's root has not even "." to find.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    windows::set_errno_from_system();
    return false;
  }
  const std::unique_ptr<void, search_closer> search(first);
  std::string name;
  do {
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) {
      continue;
    }
    if (!to_utf8(found.cFileName, name)) continue;
    const DWORD attributes = found.dwFileAttributes;
    path_kind kind = path_kind::regular;
    // dwReserved0 holds a reparse point's tag.
    if (is_link_tag(attributes, found.dwReserved0)) {
      kind = path_kind::link;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      kind = path_kind::directory;
    }
    entries.push_back({name, kind});
  } while (FindNextFileW(search.get(), &found) != 0);
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    windows::set_errno_from_system();
    return false;
  }
  return true;
}

}  // namespace mthc::cli
