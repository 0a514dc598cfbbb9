#pragma once

namespace mthc::cli {

// Writes the usage text to standard error, naming the program as given.
void print_usage(const char* program_name) noexcept;

}  // namespace mthc::cli
