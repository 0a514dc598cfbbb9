// Reading a whole input file for packing.
#pragma once

#include <cstdint>
#include <vector>

namespace mthc {

// Files larger than this cannot be packed whatever they hold: the track data
// must fit 255 blocks of 65535 bytes, and besides it a MIDI file has its
// 14-byte header and 8 bytes per chunk for at most 65535 chunks. They are
// refused before being read.
inline constexpr long k_max_input_file_size = 14 + (255L + 8) * 0xFFFF;

enum class read_outcome {
  ok,
  failed,    // an error line has been printed
  too_large  // larger than k_max_input_file_size; nothing printed
};

// Reads the file at `path` into `bytes`. Failures print the same lines as
// loading a container: cannot open, cannot seek, cannot determine size,
// cannot rewind, failed reading. Throws std::bad_alloc.
read_outcome read_input_file(const char* path, std::vector<std::uint8_t>& bytes);

}  // namespace mthc
