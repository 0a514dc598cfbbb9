// Decoding speed of each variant of the block decoder's fast loop that this
// processor runs, on the same data sets and packed blocks as
// decode_bench.cpp: whether a variant pays for itself is decided by these
// wall times, not by instruction counts. scripts/decode_variants.sh runs it
// with interleaved repetitions and prints a table with the spread.
//
// Benchmarks are named variant/<data set>/<compressor>/<variant>.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "codec/decode_block_internal.hpp"
#include "packed_blocks.hpp"

namespace {

using namespace mthc::bench;
using mthc::detail::fast_loop_variant;

constexpr std::size_t k_blocks_per_set = 8;

// decode_block with the given variant of the fast loop.
template <fast_loop_variant variant>
std::size_t decode_with(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out) {
  namespace d = mthc::detail;
  if (packed.empty() || out.empty()) return 0;
  d::block_state s{packed.data(), packed.data() + packed.size(), out.data(), out.data(),
                   out.data() + out.size()};
  for (;;) {
    if (d::run_fast_loop_variant(s, variant) == d::fast_loop_exit::stopped) break;
    if (!d::careful_step(s)) break;
  }
  return static_cast<std::size_t>(s.out_next - s.out_begin);
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

const packed_set& packed(const data_set& data, const compressor& packer) {
  static std::map<std::string, packed_set> cache;
  const std::string key = std::string(data.name) + "/" + packer.name;
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, pack_set(data, packer, k_blocks_per_set)).first;
  return it->second;
}

void bm_variant(benchmark::State& state, const data_set& data, const compressor& packer,
                const decoder& d) {
  const packed_set& set = packed(data, packer);
  bytes out(set.original.size());
  std::size_t produced = 0;
  for (auto _ : state) {
    produced = decode_set(set, d, out);
    benchmark::DoNotOptimize(produced);
    benchmark::ClobberMemory();
  }
  if (produced != set.original.size() || out != set.original) {
    state.SkipWithError("decoded output differs from the original");
    return;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(set.original.size()));
}

}  // namespace

int main(int argc, char** argv) {
  for (const data_set& data : data_sets()) {
    for (const compressor& packer : compressors()) {
      for (const variant_decoder& v : k_variants) {
        if (!mthc::detail::can_run(v.variant)) continue;
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
