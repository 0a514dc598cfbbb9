#include "cli/shown_name.hpp"

#include <new>

#include "app/text.hpp"

namespace mthc {

std::string shown_name(std::string_view name) noexcept {
  try {
    return app::terminal_text(name);
  } catch (const std::bad_alloc&) {
    return "(a file)";  // short enough to need no allocation
  }
}

printable_name::printable_name(const char* name) noexcept : text_(name) {
  if (app::is_plain_text(name)) return;
  escaped_ = shown_name(name);
  text_ = escaped_.c_str();
}

}  // namespace mthc
