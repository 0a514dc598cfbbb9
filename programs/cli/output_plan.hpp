// Before a run writes anything: two inputs that would be written to the same
// file are refused (the second would replace the first's output).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/pack_options.hpp"

namespace mthc::cli {

// Whether the regular file at `path` begins with "MThc"; none for anything
// else, which is read as the run goes (a pipe, a FIFO), or what cannot be
// opened.
std::optional<bool> starts_as_container(const char* path);

// Two inputs of the run that would be written to the same file: their
// indexes in the inputs and "'<a>' and '<b>' would both be written to
// '<output>'".
struct output_clash {
  std::size_t first = 0;
  std::size_t second = 0;
  std::string text;
};

// Every such pair, in the order of the second input. Inputs whose kind
// cannot be told without consuming them (a pipe, a FIFO) are left out: the
// run checks those as it goes. Throws std::bad_alloc.
std::vector<output_clash> output_clashes(const pack_arguments& options);

// The error line's text (without "Error: ") naming the first two inputs of
// the run that would be written to the same file, or empty. Inputs whose kind
// cannot be told without consuming them (a pipe, a FIFO) are left out: the
// run checks those as it goes. Throws std::bad_alloc.
std::string shared_output_text(const pack_arguments& options);

}  // namespace mthc::cli
