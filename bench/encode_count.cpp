// A driver for counting the instructions of one coder on one of the encoder
// benchmark's inputs (under valgrind --tool=callgrind, see
// scripts/bench/encode_instructions.sh): packs the input a given number of times,
// checks that it decodes back and prints the input and packed sizes.
//
//   mthc_encode_count <input> <coder> [passes]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "encoder_inputs.hpp"

int main(int argc, char** argv) {
  using namespace mthc::bench;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <input> <coder> [passes]\n", argv[0]);
    return 2;
  }
  const encoder_input* in = nullptr;
  for (const encoder_input& i : encoder_inputs()) {
    if (i.name == argv[1]) in = &i;
  }
  const encoder* coder = nullptr;
  for (const encoder& e : encoders()) {
    if (std::string(e.name) == argv[2]) coder = &e;
  }
  const long passes = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
  if (in == nullptr || coder == nullptr || passes < 1) {
    std::fprintf(stderr, "unknown input or coder, or passes below 1\n");
    return 2;
  }
  block_list packed(in->blocks.size());
  std::size_t input_size = 0;
  std::size_t packed_size = 0;
  for (long pass = 0; pass < passes; ++pass) {
    for (std::size_t i = 0; i < in->blocks.size(); ++i) {
      if (!coder->pack(in->blocks[i], packed[i])) return 1;
      input_size += in->blocks[i].size();
      packed_size += packed[i].size();
    }
  }
  if (!decodes_back(in->blocks, packed)) {
    std::fprintf(stderr, "a packed block does not decode back\n");
    return 1;
  }
  std::printf("packed %zu bytes into %zu\n", input_size, packed_size);
  return 0;
}
