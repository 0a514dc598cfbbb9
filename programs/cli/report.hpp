// The one place where the programs' error and warning lines are printed.
//
// Helpers print nothing: a step that fails returns a `failure` holding the
// text of its one line, and the program hands it here. The text is made in
// a fixed buffer, so that a failure can be told however little memory is
// left, as the report tool's lines must be.
#pragma once

#include <array>
#include <string_view>

namespace mthc::cli {

struct failure {
  // The line after "Error: ", without its newline; empty: nothing failed.
  std::array<char, 1024> text{};
  bool failed() const noexcept { return text[0] != '\0'; }
};

// A failure whose text is made as printf would make it. Names in it must
// have been made safe for a terminal (shown_name.hpp).
#if defined(__GNUC__) || defined(__clang__)
__attribute__((format(printf, 1, 2)))
#endif
failure
failure_of(const char* format, ...) noexcept;

// "<what> '<path>': <the system's text for errno>", e.g. "cannot open
// 'song.mthc': No such file or directory"; of a path longer than 800 bytes
// as shown, the first and last 400 with "..." between. Make it right after
// the failing call, before anything else can change errno.
failure system_failure(const char* what, const char* path) noexcept;

// "Error: <text>" and "Warning: <text>", on standard error; the file's name
// (shown as it is: make it safe first) before the text in mthc-pack's lines,
// "Error: <name>: <text>".
void report_error(const failure& failed) noexcept;
void report_error(std::string_view text) noexcept;
void report_file_error(std::string_view name, std::string_view text) noexcept;
void report_warning(std::string_view text) noexcept;
void report_file_warning(std::string_view name, std::string_view text) noexcept;

// Ends a run whose status so far is `status`: what was printed on standard
// output must have reached it. When it did not (a full disk, a closed pipe)
// one error line says so and the status is 1.
int finish_standard_output(int status) noexcept;

}  // namespace mthc::cli
