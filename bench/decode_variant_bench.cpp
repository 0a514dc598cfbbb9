// Decoding speed of each variant of the block decoder's fast loop that this
// processor runs, on the same data sets and packed blocks as
// decode_bench.cpp: whether a variant pays for itself is decided by these
// wall times, not by instruction counts. scripts/bench/decode_variants.sh runs it
// with interleaved repetitions and prints a table with the spread.
//
// Benchmarks are named variant/<data set>/<compressor>/<variant>.
#include <benchmark/benchmark.h>

#include <string>

#include "codec/decode_block_internal.hpp"
#include "decode_timing.hpp"
#include "packed_blocks.hpp"

namespace {

using namespace mthc::bench;
using mthc::codec::fast_loop_variant;

constexpr std::size_t k_blocks_per_set = 8;

// decode_block with the given variant of the fast loop.
template <fast_loop_variant variant>
std::size_t decode_with(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out) {
  return mthc::codec::decode_block_with(packed, out, variant);
}

struct variant_decoder {
  fast_loop_variant variant;
  decoder d;
};

const variant_decoder k_variants[] = {
    {fast_loop_variant::portable, {"portable", decode_with<fast_loop_variant::portable>, false}},
    {fast_loop_variant::bit_manipulation,
     {"bit_manipulation", decode_with<fast_loop_variant::bit_manipulation>, false}},
};

void bm_variant(benchmark::State& state, const data_set& data, const compressor& packer,
                const decoder& d) {
  time_decoding(state, packed_once(data, packer, k_blocks_per_set), d);
}

}  // namespace

int main(int argc, char** argv) {
  for (const data_set& data : data_sets()) {
    for (const compressor& packer : compressors()) {
      for (const variant_decoder& v : k_variants) {
        if (!mthc::codec::can_run(v.variant)) continue;
        const std::string name =
            std::string("variant/") + data.name + "/" + packer.name + "/" + v.d.name;
        benchmark::RegisterBenchmark(name.c_str(), bm_variant, data, packer, v.d)
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
