// The one form of an error line about a failed system call.
#pragma once

namespace mthc {

// Prints "Error: <what> '<path>': <the system's text for errno>" and a
// newline on standard error, e.g. "Error: cannot open 'song.mthc': No such
// file or directory". Call it right after the failing call, before anything
// else can change errno.
void print_system_error(const char* what, const char* path) noexcept;

}  // namespace mthc
