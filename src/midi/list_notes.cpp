#include <algorithm>
#include <mthc/list_notes.hpp>
#include <mthc/track_reader.hpp>
#include <new>

#include "midi/tempo_map.hpp"

namespace mthc {

namespace {

struct note_ticks {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// The notes of one track in ticks (into `ticks`, and the rest of each note
// into `notes`); returns the tick of the track's last event.
std::uint64_t read_notes(std::span<const std::uint8_t> track, std::uint32_t index,
                         std::vector<note_ticks>& ticks, std::vector<note>& notes) {
  // The notes sounding, per channel and key, earliest first.
  std::vector<std::vector<std::size_t>> sounding(std::size_t{16} * 128);
  track_reader reader{track};
  track_event event;
  std::uint64_t tick = 0;
  while (next_event(reader, event)) {
    tick += event.delta;
    if (event.kind != event_kind::channel) continue;
    const unsigned command = event.status & 0xF0U;
    if (command != 0x90 && command != 0x80) continue;
    const auto channel = static_cast<std::uint8_t>(event.status & 0x0FU);
    const std::uint8_t key = event.data[0];
    auto& waiting = sounding[channel * 128U + key];
    if (command == 0x90 && event.data[1] != 0) {
      waiting.push_back(ticks.size());
      ticks.push_back({tick, tick});
      notes.push_back({0, 0, index, channel, key, event.data[1]});
    } else if (!waiting.empty()) {
      ticks[waiting.front()].end = tick;
      waiting.erase(waiting.begin());
    }
  }
  for (const auto& waiting : sounding) {
    for (const std::size_t n : waiting)
      ticks[n].end = tick;
  }
  return tick;
}

// The clock of a song, its tracks read again for their tempo changes.
midi::song_clock clock_of(const midi_header& header,
                          std::span<const std::span<const std::uint8_t>> tracks,
                          std::span<const std::uint64_t> end_ticks) {
  std::vector<std::vector<midi::tempo_change>> tempos(tracks.size());
  for (std::size_t t = 0; t < tracks.size(); ++t)
    midi::add_tempo_changes(tracks[t], tempos[t]);
  return midi::make_song_clock(header.format, header.division, std::move(tempos), end_ticks);
}

void add_notes(const midi_header& header, std::span<const std::span<const std::uint8_t>> tracks,
               note_list& result) {
  std::vector<std::uint64_t> end_ticks(tracks.size());
  std::vector<note_ticks> ticks;
  for (std::size_t t = 0; t < tracks.size(); ++t)
    end_ticks[t] = read_notes(tracks[t], static_cast<std::uint32_t>(t), ticks, result.notes);
  const midi::song_clock clock = clock_of(header, tracks, end_ticks);
  for (std::size_t n = 0; n < ticks.size(); ++n) {
    note& x = result.notes[n];
    x.start_seconds = midi::seconds_at(clock, x.track, ticks[n].start);
    x.end_seconds = midi::seconds_at(clock, x.track, ticks[n].end);
  }
}

struct event_ticks {
  std::uint64_t tick = 0;
  channel_event event;
};

void add_events(const midi_header& header, std::span<const std::span<const std::uint8_t>> tracks,
                channel_event_list& result) {
  std::vector<event_ticks> read;
  std::vector<std::uint64_t> end_ticks(tracks.size());
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    track_reader reader{tracks[t]};
    track_event event;
    std::uint64_t tick = 0;
    while (next_event(reader, event)) {
      tick += event.delta;
      if (event.kind != event_kind::channel) continue;
      channel_event out;
      out.track = static_cast<std::uint32_t>(t);
      out.status = event.status;
      out.data_size = static_cast<std::uint8_t>(std::min<std::size_t>(event.data.size(), 2));
      std::copy_n(event.data.begin(), out.data_size, out.data);
      read.push_back({tick, out});
    }
    end_ticks[t] = tick;
  }
  const midi::song_clock clock = clock_of(header, tracks, end_ticks);
  result.events.reserve(read.size());
  for (event_ticks& e : read) {
    e.event.seconds = midi::seconds_at(clock, e.event.track, e.tick);
    result.events.push_back(e.event);
  }
  // Each track is in time order already: a stable sort keeps the order of
  // a track's events, and puts an earlier track's first at the same time.
  std::stable_sort(
      result.events.begin(), result.events.end(),
      [](const channel_event& a, const channel_event& b) { return a.seconds < b.seconds; });
}

}  // namespace

note_list list_notes(const midi_header& header,
                     std::span<const std::span<const std::uint8_t>> tracks) noexcept {
  note_list result;
  try {
    add_notes(header, tracks, result);
  } catch (const std::bad_alloc&) {
    result = note_list{};
    result.error = summary_error::out_of_memory;
  }
  return result;
}

channel_event_list list_channel_events(
    const midi_header& header, std::span<const std::span<const std::uint8_t>> tracks) noexcept {
  channel_event_list result;
  try {
    add_events(header, tracks, result);
  } catch (const std::bad_alloc&) {
    result = channel_event_list{};
    result.error = summary_error::out_of_memory;
  }
  return result;
}

}  // namespace mthc
