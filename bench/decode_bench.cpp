// Decoding speed of decode_block on generated data sets, in decoded bytes per
// second, side by side with the reference library's checked and unchecked
// decoders on the same packed blocks (where that library is installed).
//
// Benchmarks are named decode/<data set>/<compressor>/<decoder>; every
// decoder's output is compared with the original data once, after the timed
// loop. scripts/bench/decode_table.sh turns the results into a table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "decode_timing.hpp"
#include "packed_blocks.hpp"

namespace {

using namespace mthc::bench;

// Eight full blocks: half a megabyte of output per pass, about what one
// block walk writes into a warm cache between two reads of the container.
constexpr std::size_t k_blocks_per_set = 8;

void bm_decode(benchmark::State& state, const data_set& data, const compressor& packer,
               const decoder& d) {
  const packed_set& set = packed_once(data, packer, k_blocks_per_set);
  for (const bytes& block : set.blocks) {
    if (block.empty() && set.original.size() != 0) {
      state.SkipWithError("the compressor failed");
      return;
    }
  }
  if (!time_decoding(state, set, d)) return;
  char label[64];
  std::snprintf(
      label, sizeof label, "packed to %.1f%%",
      100.0 * static_cast<double>(set.packed_size) / static_cast<double>(set.original.size()));
  state.SetLabel(label);
}

}  // namespace

int main(int argc, char** argv) {
  if (*missing_reference_library() != '\0')
    std::fprintf(stderr, "%s\n", missing_reference_library());
  for (const data_set& data : data_sets()) {
    for (const compressor& packer : compressors()) {
      for (const decoder& d : decoders()) {
        if (!can_decode(d, packer)) continue;
        const std::string name =
            std::string("decode/") + data.name + "/" + packer.name + "/" + d.name;
        benchmark::RegisterBenchmark(name.c_str(), bm_decode, data, packer, d)
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
