// The song of a MIDI file as the page's player plays it: every channel
// message of every track at its time in seconds (following the tempo
// changes, as the piano roll does), in time order across the tracks.
//
// The worker puts the MIDI file in hand (web_input()), then web_play_events()
// reads it; web_event_*() are the events, web_event_count() of them, as
// parallel arrays, until web_forget_events() or web_clear().
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mthc/track_reader.hpp>
#include <new>
#include <span>
#include <vector>

#include "files.hpp"
#include "format/big_endian.hpp"
#include "midi/read_midi_file.hpp"
#include "song_clock.hpp"

namespace mthc::web {

namespace {

struct timed_event {
  double seconds = 0;
  std::uint32_t message = 0;  // status | first data byte << 8 | second << 16
  std::uint16_t track = 0;
};

struct event_lists {
  std::vector<double> times;
  std::vector<std::uint32_t> messages;
  std::vector<std::uint16_t> tracks;
};

event_lists played;

// Appends the channel messages of one track, up to its end or its first
// fault; returns the tick of its end.
std::uint64_t add_events(std::span<const std::uint8_t> track, std::uint16_t index,
                         const tempo_map& time, double offset, std::vector<timed_event>& events) {
  track_reader reader{track};
  track_event event;
  std::uint64_t tick = 0;
  while (next_event(reader, event)) {
    tick += event.delta;
    if (event.kind != event_kind::channel) continue;
    std::uint32_t message = event.status;
    for (std::size_t i = 0; i < event.data.size() && i < 2; ++i)
      message |= std::uint32_t{event.data[i]} << (8 * (i + 1));
    events.push_back({offset + seconds_at(time, tick), message, index});
  }
  return tick;
}

bool read_events(std::span<const std::uint8_t> midi) {
  const midi_read_result split = read_midi_file(midi);
  if (split.fault != midi_fault::none) return false;
  const std::uint16_t format = format::read_be16(&split.file.header_fields[4]);
  const std::uint16_t division = format::read_be16(&split.file.header_fields[8]);
  const auto& tracks = split.file.tracks;

  song_clock clock = start_clock(format, division, tracks);
  std::vector<timed_event> events;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    const tempo_map& time = track_map(clock, tracks[t]);
    const auto index = static_cast<std::uint16_t>(std::min<std::size_t>(t, 0xFFFF));
    end_track(clock, add_events(tracks[t], index, time, clock.start, events));
  }
  // Each track is in time order already; of events at the same time, the
  // earlier track's come first, and a track's keep their order.
  std::stable_sort(events.begin(), events.end(), [](const timed_event& a, const timed_event& b) {
    return a.seconds < b.seconds;
  });
  played.times.reserve(events.size());
  played.messages.reserve(events.size());
  played.tracks.reserve(events.size());
  for (const timed_event& event : events) {
    played.times.push_back(event.seconds);
    played.messages.push_back(event.message);
    played.tracks.push_back(event.track);
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
