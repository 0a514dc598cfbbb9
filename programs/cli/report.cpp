#include "cli/report.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cli/shown_name.hpp"

namespace mthc {

namespace {

void print_line(const char* prefix, std::string_view name, std::string_view text) noexcept {
  // What the program said on standard output comes first, so that a log of
  // both streams keeps the order of the lines.
  std::fflush(stdout);
  std::fputs(prefix, stderr);
  if (!name.empty()) {
    std::fwrite(name.data(), 1, name.size(), stderr);
    std::fputs(": ", stderr);
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace

failure failure_of(const char* format, ...) noexcept {  // NOLINT(cert-dcl50-cpp): a checked format
  failure made;
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(made.text.data(), made.text.size(), format, arguments);
  va_end(arguments);
  return made;
}

failure system_failure(const char* what, const char* path) noexcept {
  const char* reason = std::strerror(errno);
  return failure_of("%s '%s': %s", what, printable_name(path).c_str(), reason);
}

void report_error(const failure& failed) noexcept {
  print_line("Error: ", {}, failed.text.data());
}

void report_error(std::string_view text) noexcept {
  print_line("Error: ", {}, text);
}

void report_file_error(std::string_view name, std::string_view text) noexcept {
  print_line("Error: ", name, text);
}

void report_warning(std::string_view text) noexcept {
  print_line("Warning: ", {}, text);
}

void report_file_warning(std::string_view name, std::string_view text) noexcept {
  print_line("Warning: ", name, text);
}

int finish_standard_output(int status) noexcept {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    report_error("failed writing to standard output");
    return 1;
  }
  return status;
}

}  // namespace mthc
