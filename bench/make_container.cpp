// Writes a container of the largest size there is, for whole-run
// measurements: 255 blocks of 65535 decoded bytes, holding a generated MIDI
// song of 16 tracks cut into one record per track and block, each block
// packed by the first compressor available (see packed_blocks.hpp).
//
//   mthc_make_container <output.mthc>
#include <cstdio>
#include <cstring>

#include "container_builder.hpp"
#include "generated_data.hpp"
#include "packed_blocks.hpp"

namespace {

using namespace mthc::bench;

constexpr std::size_t k_block_count = 255;
constexpr std::uint16_t k_track_count = 16;
constexpr std::size_t k_stream_header_size = 16;
constexpr std::size_t k_area_header_size = 4;
constexpr std::size_t k_record_header_size = 2;

// Track data for every track, enough to fill all blocks.
std::vector<bytes> make_tracks(std::size_t bytes_per_track) {
  std::vector<bytes> tracks(k_track_count);
  for (std::uint64_t song = 1; tracks.back().size() < bytes_per_track; ++song) {
    const auto parts = mthc::test::midi_song(song, k_track_count, 64);
    for (std::size_t t = 0; t < k_track_count; ++t)
      tracks[t].insert(tracks[t].end(), parts[t].begin(), parts[t].end());
  }
  return tracks;
}

// The decoded stream: the header, then per block a record area with one
// record per track, the records sized so that every block is exactly
// k_block_size bytes.
bytes make_stream() {
  const std::vector<bytes> tracks = make_tracks(k_block_count * k_block_size / k_track_count);
  std::vector<std::size_t> taken(k_track_count, 0);
  bytes stream = mthc::test::stream_header(1, k_track_count, 480);
  for (std::size_t block = 0; block < k_block_count; ++block) {
    const std::size_t block_end = (block + 1) * k_block_size;
    mthc::test::append_be16(stream, 0);
    // The record count is stored little-endian.
    stream.push_back(static_cast<std::uint8_t>(k_track_count & 0xFF));
    stream.push_back(static_cast<std::uint8_t>(k_track_count >> 8));
    for (std::size_t t = 0; t < k_track_count; ++t) {
      const std::size_t space = block_end - stream.size() - k_record_header_size;
      const std::size_t tracks_left = k_track_count - t;
      const std::size_t n = t + 1 == k_track_count
                                ? space
                                : (space - (tracks_left - 1) * k_record_header_size) / tracks_left;
      mthc::test::append_be16(stream, static_cast<std::uint32_t>(n));
      const bytes& track = tracks[t];
      stream.insert(stream.end(), track.begin() + static_cast<std::ptrdiff_t>(taken[t]),
                    track.begin() + static_cast<std::ptrdiff_t>(taken[t] + n));
      taken[t] += n;
    }
  }
  static_assert(k_stream_header_size + k_area_header_size < k_block_size);
  return stream;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <output.mthc> [compressor]\n", argv[0]);
    return 2;
  }
  const compressor* packer = &compressors().front();
  if (argc == 3) {
    packer = nullptr;
    for (const compressor& c : compressors()) {
      if (std::strcmp(c.name, argv[2]) == 0) packer = &c;
    }
    if (packer == nullptr) {
      std::fprintf(stderr, "unknown compressor: %s\n", argv[2]);
      return 2;
    }
  }
  const bytes stream = make_stream();
  if (stream.size() != k_block_count * k_block_size) {
    std::fprintf(stderr, "internal error: stream of %zu bytes\n", stream.size());
    return 1;
  }
  std::vector<mthc::test::stored_block> blocks;
  for (std::size_t at = 0; at < stream.size(); at += k_block_size) {
    bytes packed = packer->pack(std::span(stream).subspan(at, k_block_size));
    if (packed.empty() || packed.size() > 0xFFFF) {
      std::fprintf(stderr, "block at %zu does not pack into 65535 bytes\n", at);
      return 1;
    }
    blocks.push_back({static_cast<std::uint16_t>(k_block_size), std::move(packed)});
  }
  const bytes container = mthc::test::build_container(blocks);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr ||
      std::fwrite(container.data(), 1, container.size(), file) != container.size() ||
      std::fclose(file) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("%s: %zu blocks, %zu decoded bytes, %zu bytes, packed by %s\n", argv[1],
              blocks.size(), stream.size(), container.size(), packer->name);
  return 0;
}
