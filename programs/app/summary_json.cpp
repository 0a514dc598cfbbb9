#include "app/summary_json.hpp"

#include <cmath>
#include <cstdint>
#include <mthc/track_reader.hpp>

#include "app/text.hpp"

namespace mthc::app {

namespace {

// The members of a bit set, counted from 0: channels 0-15, programs 0-127.
void append_members(std::string& out, const std::uint64_t* words, unsigned count) {
  out += '[';
  bool first = true;
  for (unsigned bit = 0; bit < count; ++bit) {
    if (((words[bit / 64] >> (bit % 64)) & 1U) == 0) continue;
    if (!first) out += ',';
    out += std::to_string(bit);
    first = false;
  }
  out += ']';
}

// Seconds to the millisecond, with three decimals.
std::string seconds_text(double seconds) {
  // Beyond this (tens of millions of years, from a crafted file) milliseconds
  // would not fit 64 bits: whole seconds are shown, the decimals cut.
  if (!std::isfinite(seconds) || seconds < 0) return "0.000";  // no time can be told
  if (seconds >= 1e15) {
    const std::string text = std::to_string(seconds);
    return text.substr(0, text.size() - 3);
  }
  const auto milliseconds = static_cast<std::uint64_t>(std::llround(seconds * 1000));
  std::string fraction = std::to_string(milliseconds % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  return std::to_string(milliseconds / 1000) + "." + fraction;
}

void append_number(std::string& out, const char* key, std::uint64_t value) {
  out += ",\"";
  out += key;
  out += "\":";
  out += std::to_string(value);
}

void append_track(std::string& out, std::size_t index, const track_summary& track) {
  out += "{\"index\":" + std::to_string(index);
  out += ",\"name\":";
  if (append_json_name(out, track.name)) out += ",\"name_escaped\":true";
  const std::uint64_t channels = track.channels;
  out += ",\"channels\":";
  append_members(out, &channels, 16);
  out += ",\"programs\":";
  append_members(out, track.programs.data(), 128);
  append_number(out, "notes", track.notes);
  append_number(out, "events", track.events);
  append_number(out, "bytes", track.size);
  append_number(out, "end_tick", track.end_tick);
  if (track.error == track_error::none) {
    out += ",\"fault\":null";
  } else {
    out += ",\"fault\":{\"text\":";
    append_json_string(out, track_error_text(track.error));
    append_number(out, "offset", track.error_offset);
    out += '}';
  }
  out += '}';
}

}  // namespace

std::string summary_json(const file_summary& s, const std::string_view* file_name) {
  std::string out = "{";
  if (file_name != nullptr) {
    out += "\"file\":";
    if (append_json_name(out, *file_name)) out += ",\"file_escaped\":true";
    out += ',';
  }
  const bool container = s.kind == file_kind::container;
  out += container ? "\"type\":\"container\"" : "\"type\":\"midi\"";
  if (container) {
    append_number(out, "blocks", s.blocks);
    append_number(out, "packed_bytes", s.packed_bytes);
  }
  append_number(out, "midi_bytes", s.midi_bytes);
  append_number(out, "format", s.header.format);
  append_number(out, "division", s.header.division);
  if (is_smpte(s.header.division)) {
    const unsigned fps = smpte_frames_per_second(s.header.division);
    // 29 stands for the 29.97 frames of NTSC drop-frame time code.
    out += ",\"frames_per_second\":";
    out += fps == 29 ? "29.97" : std::to_string(fps);
    append_number(out, "ticks_per_frame", smpte_ticks_per_frame(s.header.division));
  }
  append_number(out, "track_count", s.header.track_count);
  const music_summary& music = s.music;
  append_number(out, "end_tick", music.end_tick);
  out += ",\"duration_seconds\":";
  out += seconds_text(music.duration_seconds);
  out += ",\"tracks\":[";
  for (std::size_t t = 0; t < music.tracks.size(); ++t) {
    if (t != 0) out += ',';
    append_track(out, t, music.tracks[t]);
  }
  out += "]}";
  return out;
}

}  // namespace mthc::app
