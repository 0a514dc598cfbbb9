#pragma once

namespace mthc::cli {

// The whole packer: parses the arguments, then packs each MIDI file and
// unpacks each container (or, with -d, -t or -l, unpacks, checks or lists
// them), file by file: an error on one file is reported and the others are
// still done. Returns the exit status: 0 when every file succeeded (or help
// was shown), 1 otherwise.
int run_pack(int argc, const char* const* argv) noexcept;

}  // namespace mthc::cli
