// Standard MIDI File assembly from the regrouped tracks.
#pragma once

#include <span>

#include "codec/byte_buffer.hpp"
#include "midi/regroup_tracks.hpp"

namespace mthc::midi {

// Appends one "MTrk" chunk per track, track 0 first, to `image` (which holds
// the 14-byte "MThd" header already). A track without data gets the 4-byte
// chunk 00 FF 2F 00, a lone end-of-track event; a track with data is written
// exactly as gathered. Each track buffer is released once it is copied.
// Returns false when the image cannot grow.
bool build_midi_file(byte_buffer& image, std::span<track_buffer> tracks) noexcept;

}  // namespace mthc::midi
