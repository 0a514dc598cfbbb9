#include "cli/report.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cli/shown_name.hpp"

namespace mthc::cli {

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

namespace {

// A path longer than a line can hold whole keeps its start and its end,
// which say where and what, and the reason after it.
constexpr std::size_t k_longest_path_shown = 800;

// How many bytes of `text` from its start (or, with `from_end`, to its end)
// fit `budget` without cutting a UTF-8 sequence.
std::size_t whole_characters(std::string_view text, std::size_t budget, bool from_end) noexcept {
  std::size_t n = budget;
  const auto continues = [&text](std::size_t at) {
    return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  if (from_end) {
    while (n > 0 && continues(text.size() - n))
      --n;
  } else {
    while (n > 0 && continues(n))
      --n;
  }
  return n;
}

}  // namespace

failure system_failure(const char* what, const char* path) noexcept {
  const char* reason = std::strerror(errno);
  const printable_name shown(path);
  const std::string_view name = shown.c_str();
  if (name.size() <= k_longest_path_shown)
    return failure_of("%s '%s': %s", what, name.data(), reason);
  const std::size_t half = k_longest_path_shown / 2;
  const std::size_t head = whole_characters(name, half, false);
  const std::size_t tail = whole_characters(name, half, true);
  return failure_of("%s '%.*s...%s': %s", what, static_cast<int>(head), name.data(),
                    name.data() + name.size() - tail, reason);
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

}  // namespace mthc::cli
