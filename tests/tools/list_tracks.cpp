// Lists what the event reader and the music summary make of MIDI files, for
// scripts/studies/mido_cross_check.py, which compares it with what mido reads.
//
//   list_tracks --write-songs <directory>   writes generated songs as .mid files
//   list_tracks <file.mid>...               one line per file and per track
//
// File line: "<path> format <f> tracks <n> end_tick <t> seconds <s>".
// Track line: "  track <i> events <e> notes <n> end_tick <t> error <text>".
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_music.hpp>
#include <string>
#include <vector>

#include "container_builder.hpp"
#include "generated_data.hpp"

namespace {

using mthc::test::bytes;

// Songs in formats 0 (one instrument track), 1 and 2, at a few divisions;
// some with a last track of tempo changes (60 to 180 beats a minute, every
// 1000 ticks), which hold for all tracks in format 1.
bool write_songs(const std::filesystem::path& directory) {
  std::filesystem::create_directories(directory);
  int written = 0;
  for (const unsigned seed : {1U, 2U, 3U, 4U, 5U, 6U}) {
    auto tracks = seed == 1 ? std::vector<bytes>{mthc::test::midi_track(seed, 3, 20)}
                            : mthc::test::midi_song(seed, 1 + seed * 3, 10 * seed);
    if (seed >= 4) {
      bytes tempos;
      for (std::uint32_t bpm = 60; bpm <= 180; bpm += 30) {
        const std::uint32_t microseconds = 60000000 / bpm;
        mthc::test::append(tempos, bytes{0x87, 0x68, 0xFF, 0x51, 0x03});  // 1000 ticks on
        mthc::test::append(tempos, bytes{static_cast<std::uint8_t>(microseconds >> 16),
                                         static_cast<std::uint8_t>(microseconds >> 8),
                                         static_cast<std::uint8_t>(microseconds)});
      }
      mthc::test::append(tempos, bytes{0x00, 0xFF, 0x2F, 0x00});
      tracks.push_back(tempos);
    }
    const auto format = static_cast<std::uint16_t>(seed == 1 ? 0 : seed == 6 ? 2 : 1);
    const auto division = static_cast<std::uint16_t>(96 * seed);
    const bytes file = mthc::test::midi_file(format, division, tracks);
    std::ofstream out(directory / ("song_" + std::to_string(seed) + ".mid"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out) return false;
    ++written;
  }
  std::printf("%d songs written\n", written);
  return true;
}

bool list(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const mthc::midi_file read = mthc::read_midi_file(file, {.repair_tracks = false});
  if (!in && !in.eof()) return false;
  if (read.error != mthc::midi_error::none) {
    std::printf("%s not a MIDI file this tool reads\n", path);
    return false;
  }
  const std::uint16_t format = read.header.format;
  const mthc::music_summary s = mthc::summarize_music(format, read.header.division, read.tracks);
  std::printf("%s format %u tracks %zu end_tick %llu seconds %.9f\n", path, format, s.tracks.size(),
              static_cast<unsigned long long>(s.end_tick), s.duration_seconds);
  for (std::size_t i = 0; i < s.tracks.size(); ++i) {
    const mthc::track_summary& t = s.tracks[i];
    std::printf("  track %zu events %zu notes %zu end_tick %llu error %s\n", i, t.events, t.notes,
                static_cast<unsigned long long>(t.end_tick), mthc::track_error_text(t.error));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-songs") return write_songs(argv[2]) ? 0 : 1;
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s --write-songs <directory> | <file.mid>...\n", argv[0]);
    return 2;
  }
  bool ok = true;
  for (int i = 1; i < argc; ++i)
    ok = list(argv[i]) && ok;
  return ok ? 0 : 1;
}
