// Names as the programs print them: made safe for a terminal.
#pragma once

#include <string>
#include <string_view>

namespace mthc::cli {

// The path `name` with control characters, the characters that reorder a
// line and bytes that are not UTF-8 as visible escapes, and backslashes
// doubled except where they separate folders (Windows; see app/text.hpp);
// plain printable names come back unchanged. Should memory run out, a
// placeholder.
std::string shown_name(std::string_view name) noexcept;

// The same for a line that is printed at once:
//
//   std::printf("Extracted payload to %s\n", printable_name(path).c_str());
//
// A plain name is used as it is, without a copy, so that printing it needs
// no memory (the report tool prints the same lines however little is left).
class printable_name {
 public:
  explicit printable_name(const char* name) noexcept;
  printable_name(const printable_name&) = delete;
  printable_name& operator=(const printable_name&) = delete;
  const char* c_str() const noexcept { return text_; }

 private:
  std::string escaped_;
  const char* text_;
};

}  // namespace mthc::cli
