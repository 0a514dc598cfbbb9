#pragma once

namespace mthc {

// The whole packer: parses the arguments, reads the MIDI file, packs it and
// writes the container, stopping at the first failure with one error line.
// Tracks without data are packed with a warning line each, since they come
// back as an end-of-track event. Returns the exit status: 0 on success or
// help, 1 otherwise.
int run_pack(int argc, const char* const* argv) noexcept;

}  // namespace mthc
