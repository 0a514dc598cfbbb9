// Labelled inputs for the decoder benchmarks: generated data sets cut into
// blocks of up to 65535 bytes, packed by each available compressor, and the
// decoders to run on them (ours, and the reference library's where it is
// installed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mthc::bench {

using bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t k_block_size = 0xFFFF;

struct data_set {
  const char* name;
  bytes (*make)(std::uint64_t seed, std::size_t size);
};

struct compressor {
  const char* name;
  // Packs one block of at most k_block_size bytes.
  bytes (*pack)(std::span<const std::uint8_t> block);
  // Whether a block ends with the end marker. Ours ends by running out of
  // packed bytes instead, which only a decoder with our stopping rules reads.
  bool writes_end_marker;
};

struct decoder {
  const char* name;
  // Decodes one block into `out` (the room) and returns the bytes produced.
  std::size_t (*decode)(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out);
  // The reference library's decoders report an error without the end marker,
  // and the unchecked one reads past the packed bytes.
  bool needs_end_marker;
};

// Whether decoder `d` can decode blocks packed by `packer`.
inline bool can_decode(const decoder& d, const compressor& packer) {
  return packer.writes_end_marker || !d.needs_end_marker;
}

// MIDI-like event data, long repeats, and incompressible bytes.
std::span<const data_set> data_sets();
// Our encoder at its best level, then the reference library at level 10
// (where installed).
std::span<const compressor> compressors();
// decode_block first, then the reference library's checked and unchecked
// decoders (where installed).
std::span<const decoder> decoders();
// Why the reference library's entries are missing, or an empty string.
const char* missing_reference_library();

struct packed_set {
  bytes original;
  std::vector<bytes> blocks;  // packed, one per k_block_size slice of `original`
  std::size_t packed_size = 0;
};

packed_set pack_set(const data_set& data, const compressor& packer, std::size_t block_count);

// pack_set, done once per data set and compressor for the whole process
// (packing at the best levels is slow).
const packed_set& packed_once(const data_set& data, const compressor& packer,
                              std::size_t block_count);

// Decodes every block of `set` to its place in `out` (original.size() bytes),
// each with the room of its slice, and returns the bytes produced.
std::size_t decode_set(const packed_set& set, const decoder& d, std::span<std::uint8_t> out);

}  // namespace mthc::bench
