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
// the input. scripts/compression_table.sh prints them as tables.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mthc/convert_to_midi.hpp>
#include <string>

#include "codec/decode_block.hpp"
#include "codec/encode_block.hpp"
#include "encoder_data.hpp"

#if MTHC_HAVE_UCL
#include <ucl/ucl.h>
#endif

namespace {

using bytes = std::vector<std::uint8_t>;
using block_list = std::vector<bytes>;

bytes read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) std::fprintf(stderr, "cannot read %s\n", path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void append(block_list& to, block_list from) {
  for (bytes& b : from)
    to.push_back(std::move(b));
}

block_list song_corpus() {
  block_list blocks;
  for (unsigned song = 0; song < mthc::test::k_corpus_songs; ++song)
    append(blocks, mthc::test::corpus_song_blocks(song));
  return blocks;
}

block_list example_data() {
  block_list blocks = mthc::test::midi_file_blocks(read_file(MTHC_TUNE_MID));
  const mthc::conversion_result sample = mthc::convert_to_midi(read_file(MTHC_SAMPLE_MTHC));
  if (sample.error != mthc::conversion_error::none) std::abort();
  append(blocks, mthc::test::midi_file_blocks(sample.midi_file.used()));
  return blocks;
}

const block_list& input(const std::string& name) {
  static const std::vector<std::pair<std::string, block_list>> inputs = [] {
    std::vector<std::pair<std::string, block_list>> all;
    all.emplace_back("songs", song_corpus());
    all.emplace_back("example", example_data());
    for (const mthc::test::labelled_data& set : mthc::test::block_sets())
      all.emplace_back(set.name, mthc::test::cut_into_blocks(set.data));
    return all;
  }();
  for (const auto& [label, blocks] : inputs) {
    if (label == name) return blocks;
  }
  std::abort();
}

struct coder {
  const char* name;
  // Packs `block` into `out`; false on failure.
  bool (*pack)(std::span<const std::uint8_t> block, bytes& out);
};

template <mthc::encode_level level>
bool pack_ours(std::span<const std::uint8_t> block, bytes& out) {
  mthc::encode_result r = mthc::encode_block(block, level);
  out = std::move(r.packed);
  return r.error == mthc::encode_error::none;
}

#if MTHC_HAVE_UCL
bool pack_ucl10(std::span<const std::uint8_t> block, bytes& out) {
  out.resize(block.size() + block.size() / 8 + 256);
  auto size = static_cast<ucl_uint>(out.size());
  if (ucl_nrv2b_99_compress(block.data(), static_cast<ucl_uint>(block.size()), out.data(), &size,
                            nullptr, 10, nullptr, nullptr) != UCL_E_OK) {
    return false;
  }
  out.resize(size);
  return true;
}
#endif

const coder k_coders[] = {
    {"best", pack_ours<mthc::encode_level::best>},
    {"fast", pack_ours<mthc::encode_level::fast>},
#if MTHC_HAVE_UCL
    {"ucl10", pack_ucl10},
#endif
};
constexpr std::size_t k_coder_count = std::size(k_coders);

// Every block must decode back; checked once after the timed loop.
bool decodes_back(const block_list& blocks, const block_list& packed) {
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    bytes out(blocks[i].size() + 4096);
    const std::size_t n = mthc::decode_block(packed[i], out);
    if (n != blocks[i].size() || !std::equal(blocks[i].begin(), blocks[i].end(), out.begin()))
      return false;
  }
  return true;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void BM_interleaved(benchmark::State& state, const char* name) {
#if MTHC_HAVE_UCL
  if (ucl_init() != UCL_E_OK) {
    state.SkipWithError("ucl_init failed");
    return;
  }
#endif
  const block_list& blocks = input(name);
  std::size_t input_size = 0;
  for (const bytes& b : blocks)
    input_size += b.size();
  std::vector<block_list> packed(k_coder_count, block_list(blocks.size()));
  std::vector<std::vector<double>> seconds(k_coder_count);
  std::size_t round = 0;
  for (auto _ : state) {
    for (std::size_t turn = 0; turn < k_coder_count; ++turn) {
      const std::size_t c = (round + turn) % k_coder_count;
      const std::clock_t start = std::clock();
      for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (!k_coders[c].pack(blocks[i], packed[c][i])) {
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
  for (std::size_t c = 0; c < k_coder_count; ++c) {
    if (!decodes_back(blocks, packed[c])) {
      state.SkipWithError("a packed block does not decode back to its input");
      return;
    }
    std::size_t total = 0;
    for (const bytes& p : packed[c])
      total += p.size();
    const double time = median(seconds[c]);
    const std::string coder = k_coders[c].name;
    state.counters[coder + "_bytes"] = static_cast<double>(total);
    state.counters[coder + "_ms_per_MB"] = 1000 * time / megabytes;
    state.counters[coder + "_MB_per_s"] = megabytes / time;
  }
#if MTHC_HAVE_UCL
  std::vector<double> ratios;
  for (std::size_t r = 0; r < seconds[0].size(); ++r)
    ratios.push_back(seconds[0][r] / seconds[k_coder_count - 1][r]);
  state.counters["best_over_ucl10"] = median(ratios);
#endif
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
