// The largest file the front ends read, and why a larger one is refused.
#pragma once

#include <cstdint>
#include <string>

namespace mthc::app {

// More than any container and any MIDI file that a container can hold (some
// 17 MB), so that such a file is refused with the limit it exceeds, after its
// header has been read, rather than unread.
inline constexpr std::int64_t k_max_input_size = std::int64_t{64} << 20;

// Why a file larger than k_max_input_size is not read: the limit, the same
// for every file and every front end (whether the file is a container, a
// MIDI file or neither, nothing of it is read). Throws std::bad_alloc.
std::string input_too_large_text();

}  // namespace mthc::app
