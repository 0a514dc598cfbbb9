#include <mthc/list_notes.hpp>
#include <new>

#include "midi/tempo_map.hpp"
#include "midi/track_reader.hpp"

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

void list(const midi_header& header, std::span<const std::span<const std::uint8_t>> tracks,
          note_list& result) {
  std::vector<std::vector<tempo_change>> tempos(tracks.size());
  std::vector<std::uint64_t> end_ticks(tracks.size());
  std::vector<note_ticks> ticks;
  std::vector<std::size_t> first(tracks.size() + 1);
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    add_tempo_changes(tracks[t], tempos[t]);
    first[t] = ticks.size();
    end_ticks[t] = read_notes(tracks[t], static_cast<std::uint32_t>(t), ticks, result.notes);
  }
  first[tracks.size()] = ticks.size();
  const song_clock clock =
      make_song_clock(header.format, header.division, std::move(tempos), end_ticks);
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    for (std::size_t n = first[t]; n < first[t + 1]; ++n) {
      result.notes[n].start_seconds = seconds_at(clock, t, ticks[n].start);
      result.notes[n].end_seconds = seconds_at(clock, t, ticks[n].end);
    }
  }
}

}  // namespace

note_list list_notes(const midi_header& header,
                     std::span<const std::span<const std::uint8_t>> tracks) noexcept {
  note_list result;
  try {
    list(header, tracks, result);
  } catch (const std::bad_alloc&) {
    result = note_list{};
    result.error = summary_error::out_of_memory;
  }
  return result;
}

}  // namespace mthc
