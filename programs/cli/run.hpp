#pragma once

namespace mthc::cli {

// The whole program: parses the arguments, then loads, validates and reports
// on the container and performs the requested preview, extraction and
// conversion, in that order, stopping at the first failure. Returns the exit
// status: 0 on success or help, 1 otherwise.
int run(int argc, const char* const* argv) noexcept;

}  // namespace mthc::cli
