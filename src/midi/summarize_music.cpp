#include <algorithm>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <new>

#include "midi/tempo_map.hpp"

namespace mthc {

namespace {

constexpr std::uint8_t k_track_name = 0x03;

// Reads one track into `summary`, adding its tempo changes to `tempos`.
void summarize_track(std::span<const std::uint8_t> track, track_summary& summary,
                     std::vector<midi::tempo_change>& tempos) {
  summary.size = track.size();
  track_reader reader{track};
  track_event event;
  bool named = false;
  std::uint64_t tick = 0;
  while (next_event(reader, event)) {
    tick += event.delta;
    ++summary.events;
    if (event.kind == event_kind::channel) {
      summary.channels = static_cast<std::uint16_t>(summary.channels | 1U << (event.status & 0x0F));
      const unsigned command = event.status & 0xF0U;
      // A note-on of velocity 0 is how most files write a note-off.
      if (command == 0x90 && event.data[1] != 0) ++summary.notes;
      if (command == 0xC0)
        summary.programs[event.data[0] >> 6] |= std::uint64_t{1} << (event.data[0] & 63);
    } else if (event.kind == event_kind::meta) {
      if (event.meta_type == k_track_name && !named) {
        summary.name.assign(event.data.begin(), event.data.end());
        named = true;
      }
      midi::add_if_tempo_change(event, tick, tempos);
    }
  }
  summary.end_tick = tick;
  summary.error = reader.error;
  summary.error_offset = reader.error_offset;
}

void summarize(std::span<const std::span<const std::uint8_t>> tracks, music_summary& summary) {
  summary.tracks.resize(tracks.size());
  std::vector<std::vector<midi::tempo_change>> tempos(tracks.size());
  std::vector<std::uint64_t> end_ticks(tracks.size());
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    track_summary& track = summary.tracks[t];
    summarize_track(tracks[t], track, tempos[t]);
    end_ticks[t] = track.end_tick;
    // Format 2's tracks play one after another, the others together.
    summary.end_tick = summary.format == 2 ? summary.end_tick + track.end_tick
                                           : std::max(summary.end_tick, track.end_tick);
  }
  summary.duration_seconds =
      midi::make_song_clock(summary.format, summary.division, std::move(tempos), end_ticks).end;
}

}  // namespace

music_summary summarize_music(std::uint16_t format, std::uint16_t division,
                              std::span<const std::span<const std::uint8_t>> tracks) noexcept {
  music_summary summary;
  summary.format = format;
  summary.division = division;
  try {
    summarize(tracks, summary);
  } catch (const std::bad_alloc&) {
    summary = music_summary{};
    summary.error = summary_error::out_of_memory;
    summary.format = format;
    summary.division = division;
  }
  return summary;
}

}  // namespace mthc
