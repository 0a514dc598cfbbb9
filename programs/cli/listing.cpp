#include "cli/listing.hpp"

#include <cstdio>
#include <mthc/messages.hpp>
#include <mthc/midi_file.hpp>

#include "app/text.hpp"

namespace mthc::cli {

namespace {

unsigned long ul(std::size_t value) {
  return static_cast<unsigned long>(value);
}

// The share of the MIDI file that packing saves.
std::string ratio(std::size_t packed, std::size_t midi) {
  if (midi == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * (1.0 - static_cast<double>(packed) / static_cast<double>(midi)));
  return text;
}

std::string division_text(std::uint16_t division) {
  char text[64];
  if (!is_smpte(division)) {
    std::snprintf(text, sizeof text, "%u ticks per quarter note", unsigned{division});
  } else {
    const unsigned fps = smpte_frames_per_second(division);
    std::snprintf(text, sizeof text, "%s frames per second, %u ticks per frame",
                  fps == 29 ? "29.97" : std::to_string(fps).c_str(),
                  smpte_ticks_per_frame(division));
  }
  return text;
}

// Channels 1 to 16 and programs 1 to 128, as musicians count them.
std::string members(std::uint64_t low, std::uint64_t high, unsigned count) {
  std::string out;
  for (unsigned i = 0; i < count; ++i) {
    const bool set = i < 64 ? ((low >> i) & 1U) != 0 : ((high >> (i - 64)) & 1U) != 0;
    if (!set) continue;
    if (!out.empty()) out += ',';
    out += std::to_string(i + 1);
  }
  return out.empty() ? "-" : out;
}

std::string duration_text(double seconds) {
  char text[32];
  const unsigned long minutes = static_cast<unsigned long>(seconds) / 60;
  std::snprintf(text, sizeof text, "%lu:%04.1f", minutes,
                seconds - 60.0 * static_cast<double>(minutes));
  return text;
}

}  // namespace

void print_listing_header() noexcept {
  std::printf("%6s %10s %10s %6s %6s %6s %8s  %s\n", "blocks", "packed", "midi", "ratio", "tracks",
              "format", "division", "name");
}

void print_listing_line(const std::string& name, const file_summary& file, listing_totals& totals) {
  const midi_header& h = file.header;
  if (file.kind == file_kind::midi) {
    // A MIDI file among containers: its own row, marked, and no part of the total.
    std::printf("%6s %10s %10lu %6s %6u %6u %8u  %s\n", "midi", "-", ul(file.midi_bytes), "-",
                unsigned{h.track_count}, unsigned{h.format}, unsigned{h.division}, name.c_str());
    return;
  }
  std::printf("%6lu %10lu %10lu %6s %6u %6u %8u  %s\n", ul(file.blocks), ul(file.packed_bytes),
              ul(file.midi_bytes), ratio(file.packed_bytes, file.midi_bytes).c_str(),
              unsigned{h.track_count}, unsigned{h.format}, unsigned{h.division}, name.c_str());
  totals.containers += 1;
  totals.blocks += file.blocks;
  totals.packed_bytes += file.packed_bytes;
  totals.midi_bytes += file.midi_bytes;
  totals.tracks += h.track_count;
}

void print_listing_total(const listing_totals& totals) {
  std::printf("%6lu %10lu %10lu %6s %6lu %6s %8s  %s\n", ul(totals.blocks), ul(totals.packed_bytes),
              ul(totals.midi_bytes), ratio(totals.packed_bytes, totals.midi_bytes).c_str(),
              ul(totals.tracks), "-", "-", "(total)");
}

void print_music(const std::string& name, const file_summary& file) {
  const music_summary& music = file.music;
  std::printf("%s: format %u, %s, %lu track%s, %s (%.1f s)\n", name.c_str(),
              unsigned{file.header.format}, division_text(file.header.division).c_str(),
              ul(music.tracks.size()), music.tracks.size() == 1 ? "" : "s",
              duration_text(music.duration_seconds).c_str(), music.duration_seconds);
  if (file.kind == file_kind::container) {
    std::printf("  %lu block%s, %lu bytes packed, %lu bytes of MIDI, %s saved\n", ul(file.blocks),
                file.blocks == 1 ? "" : "s", ul(file.packed_bytes), ul(file.midi_bytes),
                ratio(file.packed_bytes, file.midi_bytes).c_str());
  } else {
    std::printf("  %lu bytes of MIDI\n", ul(file.midi_bytes));
  }
  std::printf("  %5s %7s %10s  %-16s %-16s %s\n", "track", "notes", "bytes", "channels", "programs",
              "name");
  for (std::size_t t = 0; t < music.tracks.size(); ++t) {
    const track_summary& track = music.tracks[t];
    std::printf("  %5lu %7lu %10lu  %-16s %-16s %s\n", ul(t), ul(track.notes), ul(track.size),
                members(track.channels, 0, 16).c_str(),
                members(track.programs[0], track.programs[1], 128).c_str(),
                app::terminal_text(track.name).c_str());
    if (track.error != track_error::none) {
      const track_fault fault{t, {track.error, track.error_offset, track.events}};
      std::printf("  %5s %s\n", "", track_fault_text(fault).c_str());
    }
  }
}

void print_json_line(const std::string& json) noexcept {
  std::fputs(json.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace mthc::cli
