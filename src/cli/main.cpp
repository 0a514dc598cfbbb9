#include "cli/run.hpp"

#ifdef _WIN32
#include "cli/windows_console.hpp"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  mthc::use_utf8_console();
#endif
  return mthc::run(argc, argv);
}
