// The song of the file in hand, for the page's listing and its piano roll:
// what the music summary says of each track, and every note as a bar, from
// its note-on to its note-off in seconds (following the tempo changes as the
// summary does), at its pitch, in its track.
//
// web_describe() reads the MIDI file that the file in hand is or became;
// then web_song() is the summary as JSON text, the object that
// `mthc-pack -l --json` prints for the file less its "file", and
// web_note_*() are the notes, web_note_count() of them, as parallel arrays.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "files.hpp"
#include "format/big_endian.hpp"
#include "format/format.hpp"
#include "json_text.hpp"
#include "midi/read_midi_file.hpp"
#include "song_clock.hpp"

namespace mthc::web {

namespace {

struct note_ticks {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

struct song {
  std::string json;
  std::vector<float> starts, ends;
  std::vector<std::uint8_t> pitches;
  std::vector<std::uint16_t> tracks;
};

song described;

// The notes of one track, in ticks: a note-on of velocity above 0 starts a
// note, the next note-off of its channel and key (or note-on of velocity 0)
// ends the earliest such note still sounding, and the track's end ends the
// rest. Read up to the track's end or its first fault, as the summary reads.
void add_notes(std::span<const std::uint8_t> track, std::vector<note_ticks>& notes,
               std::vector<std::uint8_t>& pitches) {
  std::vector<std::vector<std::size_t>> sounding(16 * 128);
  track_reader reader{track};
  track_event event;
  std::uint64_t tick = 0;
  while (next_event(reader, event)) {
    tick += event.delta;
    if (event.kind != event_kind::channel) continue;
    const unsigned command = event.status & 0xF0U;
    if (command != 0x90 && command != 0x80) continue;
    const unsigned key = (event.status & 0x0FU) * 128 + event.data[0];
    auto& waiting = sounding[key];
    if (command == 0x90 && event.data[1] != 0) {
      waiting.push_back(notes.size());
      notes.push_back({tick, tick});
      pitches.push_back(event.data[0]);
    } else if (!waiting.empty()) {
      notes[waiting.front()].end = tick;
      waiting.erase(waiting.begin());
    }
  }
  for (const auto& waiting : sounding) {
    for (const std::size_t n : waiting)
      notes[n].end = tick;
  }
}

// The members of a bit set, 0-based, as a JSON list.
void append_json_members(std::string& out, std::span<const std::uint64_t> words, unsigned count) {
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

// What the file is, as the listing of mthc-pack -l --json gives it for the
// file (less its name): the container's blocks and size when it is one.
struct file_facts {
  bool container = false;
  std::size_t blocks = 0;
  std::size_t packed_bytes = 0;
};

bool describe(std::span<const std::uint8_t> midi, const file_facts& facts) {
  const midi_read_result split = read_midi_file(midi);
  if (split.fault != midi_fault::none) return false;
  const auto& fields = split.file.header_fields;
  const std::uint16_t format = format::read_be16(&fields[4]);
  const std::uint16_t division = format::read_be16(&fields[8]);
  const std::vector<std::span<const std::uint8_t>>& tracks = split.file.tracks;
  const music_summary summary = summarize_music(format, division, tracks);
  if (summary.error != summary_error::none) return false;

  song_clock clock = start_clock(format, division, tracks);
  std::vector<note_ticks> notes;
  std::vector<std::uint8_t> pitches;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    const tempo_map& time = track_map(clock, tracks[t]);
    notes.clear();
    pitches.clear();
    add_notes(tracks[t], notes, pitches);
    for (std::size_t n = 0; n < notes.size(); ++n) {
      described.starts.push_back(
          static_cast<float>(clock.start + seconds_at(time, notes[n].start)));
      described.ends.push_back(static_cast<float>(clock.start + seconds_at(time, notes[n].end)));
      described.pitches.push_back(pitches[n]);
      described.tracks.push_back(static_cast<std::uint16_t>(std::min<std::size_t>(t, 0xFFFF)));
    }
    end_track(clock, summary.tracks[t].end_tick);
  }

  std::string& json = described.json;
  json = std::string("{\"type\":") + (facts.container ? "\"container\"" : "\"midi\"");
  if (facts.container) {
    append_json_number(json, "blocks", facts.blocks);
    append_json_number(json, "packed_bytes", facts.packed_bytes);
  }
  append_json_number(json, "midi_bytes", midi.size());
  append_json_number(json, "format", format);
  append_json_number(json, "division", division);
  if ((division & 0x8000U) != 0) {
    // SMPTE time: the high byte is minus the frames per second (29 meaning
    // 29.97), the low byte the ticks per frame.
    const int frames = -static_cast<std::int8_t>(division >> 8);
    json +=
        ",\"frames_per_second\":" + (frames == 29 ? std::string("29.97") : std::to_string(frames));
    append_json_number(json, "ticks_per_frame", division & 0xFFU);
  }
  append_json_number(json, "track_count", format::read_be16(&fields[6]));
  append_json_number(json, "end_tick", summary.end_tick);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", summary.duration_seconds);
  json += std::string(",\"duration_seconds\":") + seconds + ",\"tracks\":[";
  for (std::size_t t = 0; t < summary.tracks.size(); ++t) {
    const track_summary& track = summary.tracks[t];
    json += t > 0 ? ",{" : "{";
    append_json_number(json, "index", t);
    json += ",\"name\":";
    append_json_string(json, track.name);
    json += ",\"channels\":";
    const std::uint64_t channels[1] = {track.channels};
    append_json_members(json, channels, 16);
    json += ",\"programs\":";
    append_json_members(json, track.programs, 128);
    append_json_number(json, "notes", track.notes);
    append_json_number(json, "events", track.events);
    append_json_number(json, "bytes", track.size);
    append_json_number(json, "end_tick", track.end_tick);
    if (track.error == track_error::none) {
      json += ",\"fault\":null}";
    } else {
      json += ",\"fault\":{\"text\":";
      append_json_string(json, track_error_text(track.error));
      append_json_number(json, "offset", track.error_offset);
      json += "}}";
    }
  }
  json += "]}";
  return true;
}

}  // namespace

}  // namespace mthc::web

using namespace mthc;
using namespace mthc::web;

extern "C" {

// Describes the song of the file in hand, the MIDI file given or the one
// its container became; 1 when there is one.
EMSCRIPTEN_KEEPALIVE int web_describe() {
  described = song{};
  try {
    if (!output_is_midi()) return describe(input(), {}) ? 1 : 0;
    const file_facts container{true, input()[format::k_block_count_offset], input().size()};
    return describe(output(), container) ? 1 : 0;
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
