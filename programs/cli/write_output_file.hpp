// Writing an output file: the one writer of both programs, so that a user's
// file is never lost.
//
// The bytes go to a temporary file created beside the target, which is
// flushed to the disk and then renamed over the target in one step: a
// failed or interrupted run leaves the previous file as it was and no
// partial one. The target's own name is never opened for writing, so a link
// found there, or swapped in meanwhile, cannot redirect the write: the link
// itself is replaced. Only a character device or FIFO that the user named
// (or a link the user named that leads to one) is written as it is, as
// /dev/null or a pipe has nothing to replace; a disk (block device), a folder
// or a socket never is, however it is named, with -f too.
#pragma once

#include <cstdint>
#include <span>

#include "cli/platform.hpp"
#include "cli/report.hpp"

namespace mthc::cli {

enum class output_program {
  // The report tool: its error lines are the design's, it always replaces
  // the file it is told to write, and it does not replace a read-only file
  // ("cannot create ...: Permission denied", as opening it would say). A
  // file it replaces keeps its permission bits; a new one gets those of the
  // container, less the umask (as cp gives a new copy).
  mthc,
  // The packer: an existing file is replaced only with -f, and every output
  // gets the input's permission bits and times (as gzip does).
  mthc_pack,
};

struct output_rules {
  output_program program = output_program::mthc;
  // Whose choice the name is. A name the program chose itself (beside an
  // input) is only ever a regular file that the run creates, or replaces:
  // a FIFO, device or socket there is refused, even with -f. A name the
  // user gave may be a character device or FIFO, or a link to one.
  bool named_by_user = true;
  // Whether an existing file (or link) at the target is replaced; without,
  // the write is refused: "'<path>' already exists; use -f to overwrite it".
  bool replace = true;
  // The input the output is made from; null for standard input (the output
  // then gets 0666 less the umask, as a new file would).
  const file_status* input = nullptr;
};

// Whether `path` may be written under `rules`, checked before the work is
// done (the write checks again): the refusal that the write would give
// ("already exists", a FIFO, device or socket, a folder), or none.
failure output_allowed(const char* path, const output_rules& rules) noexcept;

// Writes `bytes` to `path`, or says why not: a refusal of output_allowed, or
// a failed create, write, flush or rename, with the system's reason where it
// has one. Prints nothing.
failure write_output_file(const char* path, std::span<const std::uint8_t> bytes,
                          const output_rules& rules) noexcept;

// Writing many outputs at once (the packer's files beside their inputs):
// each is written to its temporary file, the temporary files are flushed to
// the disk together, with one sync where the system allows
// (sync_temporaries in platform.hpp), and only then moved into place. An
// output appears only when it is complete and on the disk, and replaces a
// file only then, without a sync for each (which may take longer than the
// work on a song).
//
// As write_output_file, but an output that goes through a temporary file
// is left there, unflushed, and `staged` gets the temporary file's number;
// nothing is at `path` yet. A device is written at once (`staged` -1). At
// most k_max_temporaries outputs can wait (temporaries_full()).
failure stage_output_file(const char* path, std::span<const std::uint8_t> bytes,
                          const output_rules& rules, int& staged) noexcept;

// Moves a staged output, synced, into place at `path`, or says why not
// ("already exists" for a file that appeared there without -f, or the
// system's reason); it is removed then.
failure place_staged_output(int staged, const char* path, const output_rules& rules) noexcept;

}  // namespace mthc::cli
