// The packer's files whose outputs wait for one sync together: what each
// file's work said is kept until its output is in place, and then printed,
// file after file in the order of the run, as if each had been done alone.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/write_output_file.hpp"

namespace mthc::cli {

// A line that a file's work says.
struct said_line {
  enum class stream { out, warning, error };
  stream where = stream::out;
  std::string text;  // a whole line for standard output; after "Warning: "/"Error: " otherwise
};

// One file of the run: its lines, and its output when that waits for the
// sync (see stage_output_file).
struct file_report {
  std::vector<said_line> lines;
  int staged = -1;
  std::string staged_path;
  // Said (on standard output) once the output is in place.
  std::string placed_line;
};

struct pending_outputs {
  std::vector<file_report> waiting;
  // When the first of them was done: lines are not held back for long.
  std::chrono::steady_clock::time_point since;
};

// Prints `report` at once when nothing waits and its output is in place (or
// it has none), else keeps it. Returns whether the waiting outputs are to be
// settled now: as many as may wait at a time, or a second since the first.
// Throws std::bad_alloc.
bool add_report(pending_outputs& pending, file_report&& report);

// Flushes the waiting outputs to the disk together, moves each into place
// (an error line for one that cannot be) and prints every waiting report in
// order. False when any output failed.
bool settle_outputs(pending_outputs& pending, const output_rules& rules);

// What a report says, in order.
void print_report(const file_report& report) noexcept;

}  // namespace mthc::cli
