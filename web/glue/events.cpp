// The song of a MIDI file as the page's player plays it: every channel
// message of every track at its time in seconds (following the tempo
// changes, as the piano roll does), in time order across the tracks.
//
// The worker puts the MIDI file in hand (web_input()), then web_play_events()
// reads it; web_event_*() are the events, web_event_count() of them, as
// parallel arrays, until web_forget_events() or web_clear().
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <mthc/list_notes.hpp>
#include <mthc/midi_file.hpp>
#include <new>
#include <span>
#include <vector>

#include "files.hpp"

namespace mthc::web {

namespace {

struct event_lists {
  std::vector<double> times;
  std::vector<std::uint32_t> messages;  // status | first data byte << 8 | second << 16
  std::vector<std::uint16_t> tracks;
};

event_lists played;

bool read_events(std::span<const std::uint8_t> midi) {
  const midi_file file = read_midi_file(midi);
  if (file.error != midi_error::none) return false;
  const channel_event_list list = list_channel_events(file.header, file.tracks);
  if (list.error != summary_error::none) return false;
  played.times.reserve(list.events.size());
  played.messages.reserve(list.events.size());
  played.tracks.reserve(list.events.size());
  for (const channel_event& event : list.events) {
    played.times.push_back(event.seconds);
    played.messages.push_back(std::uint32_t{event.status} | std::uint32_t{event.data[0]} << 8 |
                              std::uint32_t{event.data[1]} << 16);
    played.tracks.push_back(track_column(event.track));
  }
  return true;
}

}  // namespace

}  // namespace mthc::web

using namespace mthc;
using namespace mthc::web;

extern "C" {

// Reads the events of the MIDI file in hand; 1 when it reads as one.
EMSCRIPTEN_KEEPALIVE int web_play_events() {
  played = event_lists{};
  try {
    return read_events(input()) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    played = event_lists{};
    return 0;
  }
}

EMSCRIPTEN_KEEPALIVE std::size_t web_event_count() {
  return played.times.size();
}
EMSCRIPTEN_KEEPALIVE const double* web_event_times() {
  return played.times.data();
}
EMSCRIPTEN_KEEPALIVE const std::uint32_t* web_event_messages() {
  return played.messages.data();
}
EMSCRIPTEN_KEEPALIVE const std::uint16_t* web_event_tracks() {
  return played.tracks.data();
}

EMSCRIPTEN_KEEPALIVE void web_forget_events() {
  played = event_lists{};
}

}  // extern "C"
