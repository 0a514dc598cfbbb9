// The timed loop of the decoder benchmarks: decodes a packed set over and
// over, then checks the output once, after the loop.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "packed_blocks.hpp"

namespace mthc::bench {

// Returns false (the benchmark marked skipped) when the output differs from
// the original.
inline bool time_decoding(benchmark::State& state, const packed_set& set, const decoder& d) {
  bytes out(set.original.size());
  std::size_t produced = 0;
  for (auto _ : state) {
    produced = decode_set(set, d, out);
    benchmark::DoNotOptimize(produced);
    benchmark::ClobberMemory();
  }
  if (produced != set.original.size() || out != set.original) {
    state.SkipWithError("decoded output differs from the original");
    return false;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(set.original.size()));
  return true;
}

}  // namespace mthc::bench
