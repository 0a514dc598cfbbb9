#include "cli/listing.hpp"

#include <cstdio>
#include <string_view>

namespace mthc {

namespace {

unsigned long ul(std::size_t value) {
  return static_cast<unsigned long>(value);
}

std::string number_or_dash(const std::optional<std::size_t>& value) {
  return value ? std::to_string(*value) : "-";
}

// The share of the MIDI file that packing saves.
std::string ratio(const std::optional<std::size_t>& packed, std::size_t midi) {
  if (!packed || midi == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * (1.0 - static_cast<double>(*packed) / static_cast<double>(midi)));
  return text;
}

// SMPTE time codes: the high byte of the division is minus the frames per
// second.
bool is_smpte(std::uint16_t division) {
  return (division & 0x8000) != 0;
}
int frames_per_second(std::uint16_t division) {
  return -static_cast<std::int8_t>(division >> 8);
}

std::string division_text(std::uint16_t division) {
  char text[64];
  if (!is_smpte(division)) {
    std::snprintf(text, sizeof text, "%u ticks per quarter note", unsigned{division});
  } else {
    const int fps = frames_per_second(division);
    std::snprintf(text, sizeof text, "%s frames per second, %u ticks per frame",
                  fps == 29 ? "29.97" : std::to_string(fps).c_str(), unsigned{division & 0xFFU});
  }
  return text;
}

// Track names are bytes in whatever encoding the file's maker used: kept when
// they are UTF-8, read as Latin-1 otherwise, control characters left out.
std::string readable(std::string_view bytes) {
  std::string out;
  std::size_t i = 0;
  const auto continuation = [&bytes](std::size_t at) {
    return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
  };
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 1;
    if (c >= 0xE0 && c <= 0xEF) n = 2;
    if (c >= 0xF0 && c <= 0xF4) n = 3;
    bool valid = n > 0;
    for (std::size_t k = 1; k <= n && valid; ++k)
      valid = continuation(i + k);
    if (valid) {
      out.append(bytes.substr(i, n + 1));
      i += n + 1;
      continue;
    }
    if (c >= 0x80) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char ch : readable(text)) {
    switch (ch) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += ch;
    }
  }
  return out + "\"";
}

// Channels 1 to 16 and programs 1 to 128, as musicians count them.
std::string members(std::uint64_t low, std::uint64_t high, unsigned count, unsigned first,
                    const char* separator) {
  std::string out;
  for (unsigned i = 0; i < count; ++i) {
    const bool set = i < 64 ? ((low >> i) & 1U) != 0 : ((high >> (i - 64)) & 1U) != 0;
    if (!set) continue;
    if (!out.empty()) out += separator;
    out += std::to_string(i + first);
  }
  return out;
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

void print_listing_line(const listed_file& file, listing_totals& totals) {
  std::printf("%6s %10s %10lu %6s %6u %6u %8u  %s\n", number_or_dash(file.blocks).c_str(),
              number_or_dash(file.packed_bytes).c_str(), ul(file.midi_bytes),
              ratio(file.packed_bytes, file.midi_bytes).c_str(), unsigned{file.track_count},
              unsigned{file.format}, unsigned{file.division}, file.name.c_str());
  totals.files += 1;
  totals.blocks += file.blocks.value_or(0);
  totals.packed_bytes += file.packed_bytes.value_or(0);
  totals.midi_bytes += file.midi_bytes;
  if (file.packed_bytes) totals.packed_midi_bytes += file.midi_bytes;
  totals.tracks += file.track_count;
}

void print_listing_total(const listing_totals& totals) {
  std::printf("%6lu %10lu %10lu %6s %6lu %6s %8s  %s\n", ul(totals.blocks), ul(totals.packed_bytes),
              ul(totals.midi_bytes), ratio(totals.packed_bytes, totals.packed_midi_bytes).c_str(),
              ul(totals.tracks), "-", "-", "(total)");
}

void print_music(const listed_file& file) {
  const music_summary& music = *file.music;
  std::printf("%s: format %u, %s, %lu track%s, %s (%.1f s)\n", file.name.c_str(),
              unsigned{file.format}, division_text(file.division).c_str(), ul(music.tracks.size()),
              music.tracks.size() == 1 ? "" : "s", duration_text(music.duration_seconds).c_str(),
              music.duration_seconds);
  if (file.blocks) {
    std::printf("  %lu block%s, %lu bytes packed, %lu bytes of MIDI, %s saved\n", ul(*file.blocks),
                *file.blocks == 1 ? "" : "s", ul(file.packed_bytes.value_or(0)),
                ul(file.midi_bytes), ratio(file.packed_bytes, file.midi_bytes).c_str());
  } else {
    std::printf("  %lu bytes of MIDI\n", ul(file.midi_bytes));
  }
  std::printf("  %5s %7s %10s  %-16s %-16s %s\n", "track", "notes", "bytes", "channels", "programs",
              "name");
  for (std::size_t t = 0; t < music.tracks.size(); ++t) {
    const track_summary& track = music.tracks[t];
    const std::string channels = members(track.channels, 0, 16, 1, ",");
    const std::string programs = members(track.programs[0], track.programs[1], 128, 1, ",");
    std::printf("  %5lu %7lu %10lu  %-16s %-16s %s\n", ul(t), ul(track.notes), ul(track.size),
                channels.empty() ? "-" : channels.c_str(),
                programs.empty() ? "-" : programs.c_str(), readable(track.name).c_str());
    if (track.error != track_error::none) {
      std::printf("  %5s track %lu: %s at offset %lu\n", "", ul(t), track_error_text(track.error),
                  ul(track.error_offset));
    }
  }
}

void print_json(const listed_file& file) {
  std::string out = "{\"file\":" + json_string(file.name);
  out += std::string(",\"type\":") + (file.blocks ? "\"container\"" : "\"midi\"");
  if (file.blocks) {
    out += ",\"blocks\":" + std::to_string(*file.blocks);
    out += ",\"packed_bytes\":" + std::to_string(file.packed_bytes.value_or(0));
  }
  out += ",\"midi_bytes\":" + std::to_string(file.midi_bytes);
  out += ",\"format\":" + std::to_string(file.format);
  out += ",\"division\":" + std::to_string(file.division);
  out += ",\"track_count\":" + std::to_string(file.track_count);
  if (file.music != nullptr) {
    const music_summary& music = *file.music;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", music.duration_seconds);
    out += ",\"end_tick\":" + std::to_string(music.end_tick);
    out += std::string(",\"duration_seconds\":") + seconds;
    out += ",\"tracks\":[";
    for (std::size_t t = 0; t < music.tracks.size(); ++t) {
      const track_summary& track = music.tracks[t];
      if (t != 0) out += ",";
      out += "{\"index\":" + std::to_string(t);
      out += ",\"name\":" + json_string(track.name);
      out += ",\"channels\":[" + members(track.channels, 0, 16, 0, ",") + "]";
      out += ",\"programs\":[" + members(track.programs[0], track.programs[1], 128, 0, ",") + "]";
      out += ",\"notes\":" + std::to_string(track.notes);
      out += ",\"events\":" + std::to_string(track.events);
      out += ",\"bytes\":" + std::to_string(track.size);
      out += ",\"end_tick\":" + std::to_string(track.end_tick);
      if (track.error == track_error::none) {
        out += ",\"fault\":null";
      } else {
        out += ",\"fault\":{\"text\":" + json_string(track_error_text(track.error)) +
               ",\"offset\":" + std::to_string(track.error_offset) + "}";
      }
      out += "}";
    }
    out += "]";
  }
  out += "}\n";
  std::fputs(out.c_str(), stdout);
}

}  // namespace mthc
