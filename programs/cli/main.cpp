#include "cli/platform.hpp"
#include "cli/run.hpp"

int main(int argc, char** argv) {
  mthc::use_utf8_console();
  mthc::remove_temporary_on_signals();
  return mthc::run(argc, argv);
}
