// Deterministic data sets made by code: MIDI songs and the byte patterns that
// exercise the block codec (event data, long repeats, incompressible bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mthc::test {

std::vector<std::uint8_t> random_bytes(std::uint64_t seed, std::size_t size);

// Long runs and short periodic patterns: long overlapping matches.
std::vector<std::uint8_t> repetitive_bytes(std::uint64_t seed, std::size_t size);

// The event bytes of one MIDI track (without the "MTrk" chunk header): a
// channel playing bars built from a few motifs that repeat with variations in
// pitch and velocity, with running status, controller sweeps, pitch bends and
// an end-of-track event. `bars` sets the length.
std::vector<std::uint8_t> midi_track(std::uint64_t seed, unsigned channel, unsigned bars);

// A song: a tempo/meta track followed by `track_count - 1` instrument tracks.
std::vector<std::vector<std::uint8_t>> midi_song(std::uint64_t seed, unsigned track_count,
                                                 unsigned bars);

// `size` bytes of MIDI track data taken from generated songs.
std::vector<std::uint8_t> midi_like_bytes(std::uint64_t seed, std::size_t size);

}  // namespace mthc::test
