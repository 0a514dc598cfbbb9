// What -l prints: one line per file and a total of the containers, or with -v
// each song's music, or with --json one JSON object per file and line.
#pragma once

#include <cstddef>
#include <mthc/summarize_file.hpp>
#include <string>

namespace mthc::cli {

// The containers listed so far (MIDI files have no share in a total).
struct listing_totals {
  std::size_t containers = 0;
  std::size_t blocks = 0;
  std::size_t packed_bytes = 0;
  std::size_t midi_bytes = 0;
  std::size_t tracks = 0;
};

// `name` is the file's name as shown (safe for a terminal); the tracks'
// names are made safe here.
void print_listing_header() noexcept;
// One line; a container adds to `totals`. Throws std::bad_alloc.
void print_listing_line(const std::string& name, const file_summary& file, listing_totals& totals);
void print_listing_total(const listing_totals& totals);

// The song: its header, length, and a line per track. Throws std::bad_alloc.
void print_music(const std::string& name, const file_summary& file);

// `json` and a newline.
void print_json_line(const std::string& json) noexcept;

}  // namespace mthc::cli
