#include "midi/tempo_map.hpp"

#include <algorithm>
#include <mthc/midi_file.hpp>
#include <mthc/track_reader.hpp>

namespace mthc::midi {

namespace {

constexpr std::uint8_t k_set_tempo = 0x51;
constexpr double k_default_tempo = 500000;  // microseconds per quarter note: 120 beats a minute

}  // namespace

void add_if_tempo_change(const track_event& event, std::uint64_t tick,
                         std::vector<tempo_change>& changes) {
  if (event.kind != event_kind::meta || event.meta_type != k_set_tempo || event.data.size() < 3) {
    return;
  }
  const auto* d = event.data.data();
  changes.push_back({tick, static_cast<std::uint32_t>(d[0] << 16 | d[1] << 8 | d[2])});
}

void add_tempo_changes(std::span<const std::uint8_t> track, std::vector<tempo_change>& changes) {
  track_reader reader{track};
  track_event event;
  std::uint64_t tick = 0;
  while (next_event(reader, event)) {
    tick += event.delta;
    add_if_tempo_change(event, tick, changes);
  }
}

tempo_map make_tempo_map(std::uint16_t division, std::vector<tempo_change> changes) {
  tempo_map map{division, std::move(changes), {}};
  // Stable: of changes at the same tick, the last in the order given wins.
  std::stable_sort(map.changes.begin(), map.changes.end(),
                   [](const tempo_change& a, const tempo_change& b) { return a.tick < b.tick; });
  map.at.reserve(map.changes.size());
  double at = 0;
  double tempo = k_default_tempo;
  std::uint64_t from = 0;
  for (const tempo_change& change : map.changes) {
    at += static_cast<double>(change.tick - from) * tempo;
    map.at.push_back(at);
    from = change.tick;
    tempo = change.microseconds;
  }
  return map;
}

double seconds_at(const tempo_map& map, std::uint64_t tick) noexcept {
  const std::uint16_t division = map.division;
  if (is_smpte(division)) {
    const unsigned fps = smpte_frames_per_second(division);
    const double frames_per_second = fps == 29 ? 30000.0 / 1001.0 : fps;
    const double ticks_per_second = frames_per_second * smpte_ticks_per_frame(division);
    return ticks_per_second > 0 ? static_cast<double>(tick) / ticks_per_second : 0;
  }
  if (division == 0) return 0;
  // The last change before `tick` holds there.
  const auto after =
      std::lower_bound(map.changes.begin(), map.changes.end(), tick,
                       [](const tempo_change& change, std::uint64_t t) { return change.tick < t; });
  if (after == map.changes.begin()) {
    return static_cast<double>(tick) * k_default_tempo / (1e6 * division);
  }
  const auto i = static_cast<std::size_t>(after - map.changes.begin()) - 1;
  const tempo_change& change = map.changes[i];
  return (map.at[i] + static_cast<double>(tick - change.tick) * change.microseconds) /
         (1e6 * division);
}

song_clock make_song_clock(std::uint16_t format, std::uint16_t division,
                           std::vector<std::vector<tempo_change>> changes,
                           std::span<const std::uint64_t> end_ticks) {
  song_clock clock;
  if (format == 2) {
    double start = 0;
    for (std::size_t t = 0; t < changes.size(); ++t) {
      clock.maps.push_back(make_tempo_map(division, std::move(changes[t])));
      clock.starts.push_back(start);
      start += seconds_at(clock.maps.back(), end_ticks[t]);
    }
    clock.end = start;
    return clock;
  }
  std::vector<tempo_change> together;
  for (std::vector<tempo_change>& track : changes)
    together.insert(together.end(), track.begin(), track.end());
  clock.maps.push_back(make_tempo_map(division, std::move(together)));
  const std::uint64_t last =
      end_ticks.empty() ? 0 : *std::max_element(end_ticks.begin(), end_ticks.end());
  clock.end = seconds_at(clock.maps.front(), last);
  return clock;
}

double seconds_at(const song_clock& clock, std::size_t track, std::uint64_t tick) noexcept {
  if (clock.starts.empty()) return seconds_at(clock.maps.front(), tick);
  return clock.starts[track] + seconds_at(clock.maps[track], tick);
}

}  // namespace mthc::midi
