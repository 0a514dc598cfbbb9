// The data the block encoder is measured and tested on, shared by its tests,
// its size table and its benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The generated song corpus: songs of 4 to 16 tracks and 32 to 160 bars (a
// tempo track and instruments playing repeated, varied bars with controller
// sweeps and bends), each cut into blocks exactly as mthc-pack cuts it.
inline constexpr unsigned k_corpus_songs = 24;
std::vector<std::vector<std::uint8_t>> corpus_song_blocks(unsigned song);

}  // namespace mthc::test
