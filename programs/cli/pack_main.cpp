#include "cli/platform.hpp"
#include "cli/run_pack.hpp"

#ifdef _WIN32
// The Windows command prompt passes "*.mid" as it is, where a POSIX shell
// would list the files; the start-up code of the runtime expands it, for
// the packer (mthc takes its arguments exactly as they are given).
extern "C" {
int _dowildcard = -1;  // NOLINT: the name the runtime's start-up code looks for
}
#endif

int main(int argc, char** argv) {
  mthc::cli::use_utf8_console();
  mthc::cli::remove_temporary_on_signals();
  const int status = mthc::cli::run_pack(argc, argv);
  // Files dropped on the program start it in a console window of its own.
  mthc::cli::wait_for_enter_in_own_console();
  return status;
}
