// The song of the file in hand, for the page's listing and its piano roll:
// what the music summary says of each track, and every note as a bar, from
// its note-on to its note-off in seconds (following the tempo changes as the
// summary does), at its pitch, in its track.
//
// web_describe() reads the MIDI file that the file in hand is or became (a
// packed file is described as its container converts back); then
// web_song() is the summary as JSON text, and web_note_*() are the notes,
// web_note_count() of them, as parallel arrays.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mthc/convert_to_midi.hpp>
#include <mthc/list_notes.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "files.hpp"

namespace mthc::web {

namespace {

struct song {
  std::string json;
  std::vector<float> starts, ends;
  std::vector<std::uint8_t> pitches;
  std::vector<std::uint16_t> tracks;
};

song described;

void json_string(std::string& out, std::span<const std::uint8_t> bytes) {
  out += '"';
  for (const std::uint8_t c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      // Names are bytes as stored: read as Latin-1, the usual guess.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void json_bits(std::string& out, std::span<const std::uint64_t> words, unsigned count) {
  out += '[';
  bool first = true;
  for (unsigned bit = 0; bit < count; ++bit) {
    if ((words[bit / 64] >> (bit % 64) & 1U) == 0) continue;
    if (!first) out += ',';
    out += std::to_string(bit);
    first = false;
  }
  out += ']';
}

bool describe(std::span<const std::uint8_t> midi) {
  const midi_file file = read_midi_file(midi);
  if (file.error != midi_error::none) return false;
  const std::uint16_t format = file.header.format;
  const std::uint16_t division = file.header.division;
  const music_summary summary = summarize_music(format, division, file.tracks);
  if (summary.error != summary_error::none) return false;
  const note_list notes = list_notes(file.header, file.tracks);
  if (notes.error != summary_error::none) return false;
  for (const note& n : notes.notes) {
    described.starts.push_back(static_cast<float>(n.start_seconds));
    described.ends.push_back(static_cast<float>(n.end_seconds));
    described.pitches.push_back(n.key);
    described.tracks.push_back(
        static_cast<std::uint16_t>(std::min<std::uint32_t>(n.track, 0xFFFF)));
  }

  std::string& json = described.json;
  json = "{\"format\":" + std::to_string(format) + ",\"division\":" + std::to_string(division) +
         ",\"seconds\":" + std::to_string(summary.duration_seconds) + ",\"tracks\":[";
  for (std::size_t t = 0; t < summary.tracks.size(); ++t) {
    const track_summary& track = summary.tracks[t];
    if (t > 0) json += ',';
    json += "{\"name\":";
    json_string(json,
                {reinterpret_cast<const std::uint8_t*>(track.name.data()), track.name.size()});
    json += ",\"notes\":" + std::to_string(track.notes) + ",\"channels\":";
    const std::uint64_t channels[1] = {track.channels};
    json_bits(json, channels, 16);
    json += ",\"programs\":";
    json_bits(json, track.programs, 128);
    json += ",\"error\":\"";
    if (track.error != track_error::none) {
      json += track_error_text(track.error);
      json += "\",\"errorOffset\":" + std::to_string(track.error_offset);
    } else {
      json += '"';
    }
    json += '}';
  }
  json += "]}";
  return true;
}

}  // namespace

}  // namespace mthc::web

using namespace mthc;
using namespace mthc::web;

extern "C" {

// Describes the song of the file in hand; 1 when there is one.
EMSCRIPTEN_KEEPALIVE int web_describe() {
  described = song{};
  try {
    if (output_is_midi()) return describe(output()) ? 1 : 0;
    const conversion_result back = convert_to_midi(output());
    return back.error == conversion_error::none && describe(back.midi_file.used()) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    described = song{};
    return 0;
  }
}

EMSCRIPTEN_KEEPALIVE const char* web_song() {
  return described.json.c_str();
}
EMSCRIPTEN_KEEPALIVE std::size_t web_note_count() {
  return described.starts.size();
}
EMSCRIPTEN_KEEPALIVE const float* web_note_starts() {
  return described.starts.data();
}
EMSCRIPTEN_KEEPALIVE const float* web_note_ends() {
  return described.ends.data();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_note_pitches() {
  return described.pitches.data();
}
EMSCRIPTEN_KEEPALIVE const std::uint16_t* web_note_tracks() {
  return described.tracks.data();
}

// Lets the song go.
EMSCRIPTEN_KEEPALIVE void web_forget_song() {
  described = song{};
}

}  // extern "C"
