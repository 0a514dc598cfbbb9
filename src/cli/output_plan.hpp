// Before a run writes anything: two inputs that would be written to the same
// file are refused (the second would replace the first's output).
#pragma once

#include <optional>
#include <string>

#include "cli/pack_options.hpp"

namespace mthc {

// Whether the regular file at `path` begins with "MThc"; none for anything
// else, which is read as the run goes (a pipe, a FIFO), or what cannot be
// opened.
std::optional<bool> starts_as_container(const char* path);

// The error line's text (without "Error: ") naming the first two inputs of
// the run that would be written to the same file, or empty. Inputs whose kind
// cannot be told without consuming them (a pipe, a FIFO) are left out: the
// run checks those as it goes. Throws std::bad_alloc.
std::string shared_output_text(const pack_arguments& options);

}  // namespace mthc
