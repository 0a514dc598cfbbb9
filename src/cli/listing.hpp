// What -l prints: one line per file and a total, or with -v each song's
// music, or with --json the same for scripts, one JSON object per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mthc/summarize_music.hpp>
#include <optional>
#include <string>

namespace mthc {

struct listed_file {
  std::string name;
  // Containers have blocks and a packed size; MIDI files have neither.
  std::optional<std::size_t> blocks;
  std::optional<std::size_t> packed_bytes;
  std::size_t midi_bytes = 0;
  std::uint16_t format = 0;
  std::uint16_t track_count = 0;  // as the MIDI header declares it
  std::uint16_t division = 0;
  const music_summary* music = nullptr;  // for -v and --json
};

struct listing_totals {
  std::size_t files = 0;
  std::size_t blocks = 0;
  std::size_t packed_bytes = 0;
  std::size_t midi_bytes = 0;
  std::size_t packed_midi_bytes = 0;  // MIDI bytes of the containers, for the ratio
  std::size_t tracks = 0;
};

void print_listing_header() noexcept;
// One line; adds the file to `totals`.
void print_listing_line(const listed_file& file, listing_totals& totals);
void print_listing_total(const listing_totals& totals);

// The song: its header, length, and a line per track.
void print_music(const listed_file& file);

// Everything above as one JSON object on one line.
void print_json(const listed_file& file);

}  // namespace mthc
