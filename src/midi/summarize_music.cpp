#include "midi/summarize_music.hpp"

#include <algorithm>
#include <new>

#include "midi/track_reader.hpp"

namespace mthc {

namespace {

constexpr std::uint8_t k_track_name = 0x03;
constexpr std::uint8_t k_set_tempo = 0x51;
constexpr double k_default_tempo = 500000;  // microseconds per quarter note: 120 beats a minute

struct tempo_change {
  std::uint64_t tick = 0;
  std::uint32_t microseconds = 0;  // per quarter note, from here on
};

// Reads one track into `summary`, adding its tempo changes to `tempos`.
void summarize_track(std::span<const std::uint8_t> track, track_summary& summary,
                     std::vector<tempo_change>& tempos) {
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
      } else if (event.meta_type == k_set_tempo && event.data.size() >= 3) {
        const auto* d = event.data.data();
        tempos.push_back({tick, static_cast<std::uint32_t>(d[0] << 16 | d[1] << 8 | d[2])});
      }
    }
  }
  summary.end_tick = tick;
  summary.error = reader.error;
  summary.error_offset = reader.error_offset;
}

// The time of `tick`, with `tempos` in time order (of equal ticks, the last
// one holds from there on).
double seconds_at(std::uint64_t tick, std::uint16_t division,
                  std::span<const tempo_change> tempos) {
  if ((division & 0x8000) != 0) {
    const int fps = -static_cast<std::int8_t>(division >> 8);
    const double frames_per_second = fps == 29 ? 30000.0 / 1001.0 : fps;
    const double ticks_per_second = frames_per_second * (division & 0xFF);
    return ticks_per_second > 0 ? static_cast<double>(tick) / ticks_per_second : 0;
  }
  if (division == 0) return 0;
  double microseconds = 0;
  double tempo = k_default_tempo;
  std::uint64_t from = 0;
  for (const tempo_change& change : tempos) {
    if (change.tick >= tick) break;
    microseconds += static_cast<double>(change.tick - from) * tempo;
    from = change.tick;
    tempo = change.microseconds;
  }
  microseconds += static_cast<double>(tick - from) * tempo;
  return microseconds / (1e6 * division);
}

void summarize(std::span<const std::span<const std::uint8_t>> tracks, music_summary& summary) {
  summary.tracks.resize(tracks.size());
  std::vector<tempo_change> tempos;
  const bool one_after_another = summary.format == 2;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    track_summary& track = summary.tracks[t];
    summarize_track(tracks[t], track, tempos);
    if (one_after_another) {
      summary.end_tick += track.end_tick;
      summary.duration_seconds += seconds_at(track.end_tick, summary.division, tempos);
      tempos.clear();
    } else {
      summary.end_tick = std::max(summary.end_tick, track.end_tick);
    }
  }
  if (!one_after_another) {
    // Tracks play together: one tempo map from all of them. The sort is
    // stable, so of changes at the same tick the last in file order wins.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const tempo_change& a, const tempo_change& b) { return a.tick < b.tick; });
    summary.duration_seconds = seconds_at(summary.end_tick, summary.division, tempos);
  }
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
