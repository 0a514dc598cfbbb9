// The largest file the front ends read, and why a larger one is refused.
#pragma once

#include <cstdint>
#include <string>

namespace mthc::app {

// More than any container and any MIDI file that a container can hold (some
// 17 MB), so that such a file is refused with the limit it exceeds, after its
// header has been read, rather than unread.
inline constexpr std::int64_t k_max_input_size = std::int64_t{64} << 20;

// Why a file larger than k_max_input_size is not read: the limit, and for a
// file that would be packed (a MIDI file), the most track data a container
// holds. Throws std::bad_alloc.
std::string input_too_large_text(bool packing = false);

}  // namespace mthc::app
