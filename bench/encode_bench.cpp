// The block encoder on a corpus of generated songs, cut into blocks exactly as
// mthc-pack cuts them: compressed size of each level (and of the reference
// coder at level 10, when it is installed) and packing speed.
//
// Counters: `packed` is the corpus's total packed size, `input` its decoded
// size; the reference benchmark reports the same blocks. The table script
// (scripts/compression_table.sh) sets them side by side.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "codec/decode_block.hpp"
#include "codec/encode_block.hpp"
#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

#if MTHC_HAVE_UCL
#include <ucl/ucl.h>
#endif

namespace {

using block_list = std::vector<std::vector<std::uint8_t>>;

// Songs of 4 to 16 tracks and 32 to 160 bars: a tempo track and instruments
// playing repeated, varied bars with controller sweeps and bends.
const block_list& corpus() {
  static const block_list blocks = [] {
    block_list all;
    for (std::uint64_t song = 0; song < 24; ++song) {
      const auto tracks = mthc::test::midi_song(7000 + song, 4 + static_cast<unsigned>(song % 13),
                                                32 + 16 * static_cast<unsigned>(song % 9));
      const auto smf = mthc::test::midi_file(1, 480, tracks);
      const mthc::midi_file read = mthc::read_midi_file(smf);
      if (read.error != mthc::midi_error::none) std::abort();
      mthc::split_result split = mthc::split_tracks(mthc::header_fields_of(read.header),
                                                    read.tracks, mthc::k_max_block_size);
      if (split.fault != mthc::split_fault::none) std::abort();
      for (auto& b : split.blocks)
        all.push_back(std::move(b));
    }
    return all;
  }();
  return blocks;
}

std::size_t corpus_size() {
  std::size_t n = 0;
  for (const auto& b : corpus())
    n += b.size();
  return n;
}

// Every block must decode back; checked once after the timed loop.
void verify(const block_list& blocks, const block_list& packed, benchmark::State& state) {
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    std::vector<std::uint8_t> out(blocks[i].size() + 4096);
    const std::size_t n = mthc::decode_block(packed[i], out);
    if (n != blocks[i].size() || !std::equal(blocks[i].begin(), blocks[i].end(), out.begin())) {
      state.SkipWithError("a packed block does not decode back to its input");
      return;
    }
  }
}

void report(benchmark::State& state, const block_list& packed, const char* label) {
  std::size_t total = 0;
  for (const auto& p : packed)
    total += p.size();
  const std::size_t input = corpus_size();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(input));
  state.counters["input"] = static_cast<double>(input);
  state.counters["packed"] = static_cast<double>(total);
  state.counters["blocks"] = static_cast<double>(packed.size());
  state.SetLabel(label);
}

void encode_corpus(benchmark::State& state, mthc::encode_level level, const char* label) {
  const block_list& blocks = corpus();
  block_list packed(blocks.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < blocks.size(); ++i)
      packed[i] = mthc::encode_block(blocks[i], level).packed;
    benchmark::DoNotOptimize(packed.data());
  }
  verify(blocks, packed, state);
  report(state, packed, label);
}

void BM_encode_best(benchmark::State& state) {
  encode_corpus(state, mthc::encode_level::best, "best");
}
void BM_encode_fast(benchmark::State& state) {
  encode_corpus(state, mthc::encode_level::fast, "fast");
}
BENCHMARK(BM_encode_best)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_encode_fast)->Unit(benchmark::kMillisecond)->MinTime(1.0);

#if MTHC_HAVE_UCL
void BM_reference_level10(benchmark::State& state) {
  if (ucl_init() != UCL_E_OK) {
    state.SkipWithError("ucl_init failed");
    return;
  }
  const block_list& blocks = corpus();
  block_list packed(blocks.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      std::vector<std::uint8_t>& out = packed[i];
      out.resize(blocks[i].size() + blocks[i].size() / 8 + 256);
      ucl_uint size = static_cast<ucl_uint>(out.size());
      if (ucl_nrv2b_99_compress(blocks[i].data(), static_cast<ucl_uint>(blocks[i].size()),
                                out.data(), &size, nullptr, 10, nullptr, nullptr) != UCL_E_OK) {
        state.SkipWithError("reference coder failed");
        return;
      }
      out.resize(size);
    }
    benchmark::DoNotOptimize(packed.data());
  }
  verify(blocks, packed, state);
  report(state, packed, "reference level 10");
}
BENCHMARK(BM_reference_level10)->Unit(benchmark::kMillisecond)->MinTime(1.0);
#endif

}  // namespace

BENCHMARK_MAIN();
