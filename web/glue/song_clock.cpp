#include "song_clock.hpp"

#include <utility>
#include <vector>

namespace mthc::web {

song_clock start_clock(std::uint16_t format, std::uint16_t division,
                       std::span<const std::span<const std::uint8_t>> tracks) {
  song_clock clock;
  clock.division = division;
  clock.one_after_another = format == 2;
  std::vector<tempo_change> shared;
  if (!clock.one_after_another) {
    for (const auto& track : tracks)
      add_tempo_changes(track, shared);
  }
  clock.together = make_tempo_map(division, std::move(shared));
  return clock;
}

const tempo_map& track_map(song_clock& clock, std::span<const std::uint8_t> track) {
  if (!clock.one_after_another) return clock.together;
  std::vector<tempo_change> own;
  add_tempo_changes(track, own);
  clock.own = make_tempo_map(clock.division, std::move(own));
  return clock.own;
}

void end_track(song_clock& clock, std::uint64_t end_tick) noexcept {
  if (clock.one_after_another) clock.start += seconds_at(clock.own, end_tick);
}

}  // namespace mthc::web
