// Writing an output file so that a user's file is never lost.
//
// The bytes go to a temporary file beside the target, which is flushed to
// the disk and then renamed over the target in one step: a failed or
// interrupted run leaves the previous file as it was and no partial one. An
// existing file is replaced only when asked to (the check and the rename are
// one step where the system allows it, so a file that appears meanwhile is
// not lost either). Devices and FIFOs, which cannot be replaced, are written
// directly.
#pragma once

#include <cstdint>
#include <span>

namespace mthc {

// Called once at the start of a program that writes through
// write_output_safely: an interruption (Ctrl-C, a termination request)
// removes the temporary file being written, and a write beyond the
// file-size limit fails instead of ending the process.
void prepare_safe_output() noexcept;

// Writes `bytes` to `path`. Returns 0, or 1 after printing one error line:
// "'<path>' already exists; use -f to overwrite it" (when `overwrite` is
// false), or a failed create, write or rename with the system's reason.
int write_output_safely(const char* path, std::span<const std::uint8_t> bytes,
                        bool overwrite) noexcept;

// Whether `path` names an existing file that write_output_safely would
// replace (a regular file, or a link to one).
bool is_existing_file(const char* path) noexcept;

}  // namespace mthc
