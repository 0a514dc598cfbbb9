#include "cli/run_pack.hpp"

int main(int argc, char** argv) {
  return mthc::run_pack(argc, argv);
}
