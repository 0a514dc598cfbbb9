#include "cli/run.hpp"

int main(int argc, char** argv) {
  return mthc::run(argc, argv);
}
