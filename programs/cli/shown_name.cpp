#include "cli/shown_name.hpp"

#include <cstring>
#include <new>

#include "app/text.hpp"
#include "cli/platform.hpp"

namespace mthc::cli {

namespace {

// A path's backslashes: on Windows they can only end a folder's name.
app::backslashes in_paths() noexcept {
  return std::strchr(path_separators(), '\\') != nullptr ? app::backslashes::separate_folders
                                                         : app::backslashes::doubled;
}

}  // namespace

std::string shown_name(std::string_view name) noexcept {
  try {
    return app::terminal_text(name, in_paths());
  } catch (const std::bad_alloc&) {
    return "(a file)";  // short enough to need no allocation
  }
}

printable_name::printable_name(const char* name) noexcept : text_(name) {
  if (app::is_plain_text(name, in_paths())) return;
  escaped_ = shown_name(name);
  text_ = escaped_.c_str();
}

}  // namespace mthc::cli
