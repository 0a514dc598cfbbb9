#include "app/summary_json.hpp"

#include <cmath>
#include <cstdint>
#include <mthc/track_reader.hpp>
#include <vector>

#include "app/json_writer.hpp"

namespace mthc::app {

namespace {

// The members of a bit set, counted from 0: channels 0-15, programs 0-127.
std::vector<std::uint64_t> members(const std::uint64_t* words, unsigned count) {
  std::vector<std::uint64_t> bits;
  for (unsigned bit = 0; bit < count; ++bit) {
    if (((words[bit / 64] >> (bit % 64)) & 1U) != 0) bits.push_back(bit);
  }
  return bits;
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

void add_track(json_array& tracks, std::size_t index, const track_summary& track) {
  json_object out = begin_object(tracks);
  add_number(out, "index", index);
  add_name(out, "name", track.name);
  const std::uint64_t channels = track.channels;
  add_numbers(out, "channels", members(&channels, 16));
  add_numbers(out, "programs", members(track.programs.data(), 128));
  add_number(out, "notes", track.notes);
  add_number(out, "events", track.events);
  add_number(out, "bytes", track.size);
  add_number(out, "end_tick", track.end_tick);
  if (track.error == track_error::none) {
    add_null(out, "fault");
  } else {
    json_object fault = begin_object(out, "fault");
    add_text(fault, "text", track_error_text(track.error));
    add_number(fault, "offset", track.error_offset);
    end_object(fault);
  }
  end_object(out);
}

}  // namespace

std::string summary_json(const file_summary& s, const std::string_view* file_name) {
  std::string text;
  json_object out = begin_object(text);
  if (file_name != nullptr) add_name(out, "file", *file_name);
  const bool container = s.kind == file_kind::container;
  add_text(out, "type", container ? "container" : "midi");
  if (container) {
    add_number(out, "blocks", s.blocks);
    add_number(out, "packed_bytes", s.packed_bytes);
  }
  add_number(out, "midi_bytes", s.midi_bytes);
  add_number(out, "format", s.header.format);
  add_number(out, "division", s.header.division);
  if (is_smpte(s.header.division)) {
    const unsigned fps = smpte_frames_per_second(s.header.division);
    // 29 stands for the 29.97 frames of NTSC drop-frame time code.
    add_number_text(out, "frames_per_second", fps == 29 ? "29.97" : std::to_string(fps));
    add_number(out, "ticks_per_frame", smpte_ticks_per_frame(s.header.division));
  }
  add_number(out, "track_count", s.header.track_count);
  const music_summary& music = s.music;
  add_number(out, "end_tick", music.end_tick);
  add_number_text(out, "duration_seconds", seconds_text(music.duration_seconds));
  json_array tracks = begin_array(out, "tracks");
  for (std::size_t t = 0; t < music.tracks.size(); ++t)
    add_track(tracks, t, music.tracks[t]);
  end_array(tracks);
  end_object(out);
  return text;
}

}  // namespace mthc::app
