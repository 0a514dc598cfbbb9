#include "cli/platform.hpp"
#include "cli/run.hpp"

int main(int argc, char** argv) {
  mthc::cli::use_utf8_console();
  mthc::cli::remove_temporary_on_signals();
  return mthc::cli::run(argc, argv);
}
