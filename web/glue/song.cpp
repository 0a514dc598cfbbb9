// The song of the file in hand, for the page's listing and its piano roll:
// the object that `mthc-pack -l --json` prints for the file (less its
// "file"), and every note as a bar, from its note-on to its note-off in
// seconds, at its pitch, in its track.
//
// web_describe() reads the file in hand; then web_song() is the summary as
// JSON text, web_song_faults() the machine name of each track's fault (a
// JSON array, null for a track that reads, in the summary's order: the
// summary has the fault's text, which is for people), and web_note_*() are
// the notes, web_note_count() of them, as parallel arrays, until
// web_forget_song().
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <mthc/list_notes.hpp>
#include <mthc/messages.hpp>
#include <mthc/midi_file.hpp>
#include <mthc/summarize_file.hpp>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "app/summary_json.hpp"
#include "files.hpp"

namespace mthc::web {

namespace {

struct song {
  std::string json;
  std::string faults;
  std::vector<float> starts, ends;
  std::vector<std::uint8_t> pitches;
  std::vector<std::uint16_t> tracks;
};

song described;

// The file given, container or MIDI file, is listed as mthc-pack lists it;
// the notes are those of the MIDI file it is or became.
bool describe(std::span<const std::uint8_t> given, std::span<const std::uint8_t> midi) {
  const file_summary summary = summarize_file(given);
  if (summary.error != file_error::none) return false;
  const midi_file file = read_midi_file(midi);
  if (file.error != midi_error::none) return false;
  const note_list notes = list_notes(file.header, file.tracks);
  if (notes.error != summary_error::none) return false;
  described.json = app::summary_json(summary, nullptr);
  described.faults = "[";
  for (const track_summary& track : summary.music.tracks) {
    if (described.faults.size() > 1) described.faults += ',';
    if (track.error == track_error::none) {
      described.faults += "null";
    } else {
      described.faults += '"';
      described.faults += error_name(track.error);
      described.faults += '"';
    }
  }
  described.faults += ']';
  for (const note& n : notes.notes) {
    described.starts.push_back(static_cast<float>(n.start_seconds));
    described.ends.push_back(static_cast<float>(n.end_seconds));
    described.pitches.push_back(n.key);
    described.tracks.push_back(track_column(n.track));
  }
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
    return describe(input(), output_is_midi() ? output() : input()) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    described = song{};
    return 0;
  }
}

EMSCRIPTEN_KEEPALIVE const char* web_song() {
  return described.json.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* web_song_faults() {
  return described.faults.c_str();
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
