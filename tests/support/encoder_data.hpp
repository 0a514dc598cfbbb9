// The data the block encoder is measured and tested on, shared by its tests,
// its size table and its benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mthc::test {

struct labelled_data {
  std::string name;
  std::vector<std::uint8_t> data;
};

// Edge cases of the block encoder: empty and tiny blocks, runs, a full block
// of zeros, random, repetitive and MIDI-like bytes of several sizes, and far
// matches that repeat at the same distance.
std::vector<labelled_data> block_edge_cases();

// The decoder benchmarks' data sets: eight full blocks each of MIDI-like,
// repetitive and random bytes, named "midi set", "repetitive set" and
// "random set".
std::vector<labelled_data> block_sets();

// `data` in blocks of k_max_block_size bytes, the last one shorter.
std::vector<std::vector<std::uint8_t>> cut_into_blocks(std::span<const std::uint8_t> data);

// The decoded stream of a Standard MIDI File cut into blocks exactly as
// mthc-pack cuts it; aborts on a file that mthc-pack refuses.
std::vector<std::vector<std::uint8_t>> midi_file_blocks(std::span<const std::uint8_t> smf);

// The generated song corpus: songs of 4 to 16 tracks and 32 to 160 bars (a
// tempo track and instruments playing repeated, varied bars with controller
// sweeps and bends), each cut into blocks by midi_file_blocks.
inline constexpr unsigned k_corpus_songs = 24;
std::vector<std::vector<std::uint8_t>> corpus_song_blocks(unsigned song);

}  // namespace mthc::test
