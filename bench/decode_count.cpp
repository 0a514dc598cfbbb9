// A driver for counting the instructions of one decoder on one packed data
// set (under valgrind --tool=callgrind, see scripts/bench/decode_instructions.sh):
// packs the set, decodes it a given number of times, checks the output and
// prints the number of bytes decoded.
//
//   mthc_decode_count <data set> <compressor> <decoder> [passes]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packed_blocks.hpp"

namespace {

using namespace mthc::bench;

template <typename T>
const T* find(std::span<const T> list, const char* name) {
  for (const T& item : list) {
    if (std::strcmp(item.name, name) == 0) return &item;
  }
  std::fprintf(stderr, "unknown name: %s (known:", name);
  for (const T& item : list)
    std::fprintf(stderr, " %s", item.name);
  std::fprintf(stderr, ")\n");
  return nullptr;
}

// Eight full blocks, as in the benchmark.
constexpr std::size_t k_blocks = 8;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <data set> <compressor> <decoder> [passes]\n", argv[0]);
    return 2;
  }
  const data_set* data = find(data_sets(), argv[1]);
  const compressor* packer = find(compressors(), argv[2]);
  const decoder* d = find(decoders(), argv[3]);
  const long passes = argc > 4 ? std::strtol(argv[4], nullptr, 10) : 1;
  if (data == nullptr || packer == nullptr || d == nullptr || passes < 1) return 2;
  if (!can_decode(*d, *packer)) {
    std::fprintf(stderr, "%s cannot decode blocks packed by %s (no end marker)\n", d->name,
                 packer->name);
    return 2;
  }

  const packed_set set = pack_set(*data, *packer, k_blocks);
  bytes out(set.original.size());
  std::size_t decoded = 0;
  for (long pass = 0; pass < passes; ++pass)
    decoded += decode_set(set, *d, out);
  if (out != set.original) {
    std::fprintf(stderr, "decoded output differs from the original\n");
    return 1;
  }
  std::printf("decoded %zu bytes (packed %zu)\n", decoded, set.packed_size);
  return 0;
}
