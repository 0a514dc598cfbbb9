// The block encoder's two levels beside the reference coder at level 10, on
// the same blocks and interleaved in one run: packed size and packing time of
// each, and the ratio of the best level's time to the reference's.
//
// Inputs: the generated song corpus and the example data (the tune the build
// writes and the sample container's content), cut into blocks as mthc-pack
// cuts them, and the decoder benchmarks' MIDI-like, repetitive and random
// sets in full blocks.
//
// Every iteration is one round: each coder packs the whole input once, in an
// order that rotates from round to round, so that all of them see the same
// machine. Times are processor time, which other processes on a shared
// machine disturb less than the clock on the wall. Counters, per input:
// `<coder>_ms_per_MB` is the median round's time per 10^6 input bytes and
// `<coder>_MB_per_s` its inverse, `best_over_ucl10` the median of the
// rounds' time ratios, `<coder>_bytes` the packed total and `input_bytes`
// the input. scripts/bench/compression_table.sh prints them as tables.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include "encoder_inputs.hpp"

namespace {

using namespace mthc::bench;

const encoder_input& input(const std::string& name) {
  for (const encoder_input& i : encoder_inputs()) {
    if (i.name == name) return i;
  }
  std::abort();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void BM_interleaved(benchmark::State& state, const char* name) {
  const block_list& blocks = input(name).blocks;
  const std::span<const encoder> coders = encoders();
  const std::size_t coder_count = coders.size();
  std::size_t input_size = 0;
  for (const auto& b : blocks)
    input_size += b.size();
  std::vector<block_list> packed(coder_count, block_list(blocks.size()));
  std::vector<std::vector<double>> seconds(coder_count);
  std::size_t round = 0;
  for (auto _ : state) {
    for (std::size_t turn = 0; turn < coder_count; ++turn) {
      const std::size_t c = (round + turn) % coder_count;
      const std::clock_t start = std::clock();
      for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (!coders[c].pack(blocks[i], packed[c][i])) {
          state.SkipWithError("a coder failed");
          return;
        }
      }
      benchmark::DoNotOptimize(packed[c].data());
      seconds[c].push_back(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    ++round;
  }

  const double megabytes = static_cast<double>(input_size) / 1e6;
  state.counters["input_bytes"] = static_cast<double>(input_size);
  for (std::size_t c = 0; c < coder_count; ++c) {
    if (!decodes_back(blocks, packed[c])) {
      state.SkipWithError("a packed block does not decode back to its input");
      return;
    }
    std::size_t total = 0;
    for (const auto& p : packed[c])
      total += p.size();
    const double time = median(seconds[c]);
    const std::string coder = coders[c].name;
    state.counters[coder + "_bytes"] = static_cast<double>(total);
    state.counters[coder + "_ms_per_MB"] = 1000 * time / megabytes;
    state.counters[coder + "_MB_per_s"] = megabytes / time;
  }
  // Best (the first coder) against the reference, where it is installed.
  for (std::size_t c = 1; c < coder_count; ++c) {
    if (std::string(coders[c].name) != "ucl10") continue;
    std::vector<double> ratios;
    for (std::size_t r = 0; r < seconds[0].size(); ++r)
      ratios.push_back(seconds[0][r] / seconds[c][r]);
    state.counters["best_over_ucl10"] = median(ratios);
  }
  state.SetLabel(name);
}

BENCHMARK_CAPTURE(BM_interleaved, songs, "songs")->Unit(benchmark::kMillisecond)->MinTime(4.0);
BENCHMARK_CAPTURE(BM_interleaved, example, "example")->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_interleaved, midi_set, "midi set")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_interleaved, repetitive_set, "repetitive set")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_interleaved, random_set, "random set")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
