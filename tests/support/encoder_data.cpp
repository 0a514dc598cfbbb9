#include "encoder_data.hpp"

#include <algorithm>
#include <cstdlib>
#include <mthc/encode_block.hpp>

#include "container_builder.hpp"
#include "generated_data.hpp"
#include "midi/read_midi_file.hpp"
#include "midi/split_tracks.hpp"

namespace mthc::test {

std::vector<labelled_data> block_edge_cases() {
  std::vector<labelled_data> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {0x42}});
  cases.push_back({"two equal bytes", {7, 7}});
  cases.push_back({"two bytes", {1, 2}});
  cases.push_back({"three equal bytes", {9, 9, 9}});
  cases.push_back({"run of 1000", bytes(1000, 0x5A)});
  cases.push_back({"full block of zeros", bytes(k_max_block_size, 0)});
  for (const std::size_t size : {17U, 300U, 4000U, 65535U}) {
    const std::string n = std::to_string(size);
    cases.push_back({"random " + n, random_bytes(size, size)});
    cases.push_back({"repetitive " + n, repetitive_bytes(size + 1, size)});
    cases.push_back({"midi-like " + n, midi_like_bytes(size + 2, size)});
  }
  {
    // Far matches: a random stretch repeated 5000 bytes later (beyond the
    // 0xD00 distance where copies get one byte longer), then again at the
    // same distance, which the repeated-distance code covers.
    const bytes far = random_bytes(11, 5000);
    const bytes piece = random_bytes(12, 100);
    bytes data = piece;
    data.insert(data.end(), far.begin(), far.end());
    data.insert(data.end(), piece.begin(), piece.end());
    data.insert(data.end(), far.begin(), far.begin() + 20);
    data.insert(data.end(), piece.begin(), piece.end());
    cases.push_back({"far and repeated far matches", data});
  }
  return cases;
}

std::vector<labelled_data> block_sets() {
  constexpr std::size_t k_blocks = 8;
  constexpr std::size_t k_size = k_blocks * k_max_block_size;
  return {{"midi set", midi_like_bytes(k_blocks, k_size)},
          {"repetitive set", repetitive_bytes(k_blocks, k_size)},
          {"random set", random_bytes(k_blocks, k_size)}};
}

std::vector<std::vector<std::uint8_t>> cut_into_blocks(std::span<const std::uint8_t> data) {
  std::vector<std::vector<std::uint8_t>> blocks;
  for (std::size_t at = 0; at < data.size(); at += k_max_block_size) {
    const auto piece = data.subspan(at, std::min(k_max_block_size, data.size() - at));
    blocks.emplace_back(piece.begin(), piece.end());
  }
  return blocks;
}

std::vector<std::vector<std::uint8_t>> midi_file_blocks(std::span<const std::uint8_t> smf) {
  const mthc::midi_file read = read_midi_file(smf);
  if (read.error != midi_error::none) std::abort();
  midi::split_result split =
      midi::split_tracks(midi::header_fields_of(read.header), read.tracks, k_max_block_size);
  if (split.fault != midi::split_fault::none) std::abort();
  return std::move(split.blocks);
}

std::vector<std::vector<std::uint8_t>> corpus_song_blocks(unsigned song) {
  const auto tracks = midi_song(7000 + song, 4 + song % 13, 32 + 16 * (song % 9));
  return midi_file_blocks(midi_file(1, 480, tracks));
}

}  // namespace mthc::test
