// Reading speed of the MIDI event reader: check_track and summarize_music
// over a large generated song, in bytes of track data per second.
//
// Two versions of the same song: as generated (running status wherever a
// status repeats, as most sequencers write), and with every status written
// out (as some writers do), which gives longer events. Run with
//   --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
// for the median and spread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <mthc/summarize_music.hpp>
#include <mthc/track_reader.hpp>
#include <span>
#include <vector>

#include "generated_data.hpp"
#include "midi_quantity.hpp"

namespace {

using track = std::vector<std::uint8_t>;

// 17 tracks (a tempo track and 16 instruments) of 6000 bars: 6 MB, 7.8 MB
// with every status written out.
const std::vector<track>& song() {
  static const std::vector<track> tracks = mthc::test::midi_song(7, 17, 6000);
  return tracks;
}

// The song again with a status byte on every event.
const std::vector<track>& song_without_running_status() {
  static const std::vector<track> tracks = [] {
    std::vector<track> out;
    for (const track& t : song()) {
      track& rewritten = out.emplace_back();
      mthc::track_reader reader{t};
      mthc::track_event event;
      while (mthc::next_event(reader, event)) {
        mthc::test::put_quantity(rewritten, event.delta);
        rewritten.push_back(event.status);
        if (event.kind == mthc::event_kind::meta) rewritten.push_back(event.meta_type);
        if (event.kind == mthc::event_kind::meta || event.kind == mthc::event_kind::sysex)
          mthc::test::put_quantity(rewritten, static_cast<std::uint32_t>(event.data.size()));
        rewritten.insert(rewritten.end(), event.data.begin(), event.data.end());
      }
    }
    return out;
  }();
  return tracks;
}

std::int64_t total_size(const std::vector<track>& tracks) {
  std::int64_t size = 0;
  for (const track& t : tracks)
    size += static_cast<std::int64_t>(t.size());
  return size;
}

void bm_check_track(benchmark::State& state, const std::vector<track>& (*data)()) {
  const std::vector<track>& tracks = data();
  std::size_t events = 0;
  for (auto _ : state) {
    events = 0;
    for (const track& t : tracks) {
      const mthc::track_check check = mthc::check_track(t);
      if (check.error != mthc::track_error::none) {
        state.SkipWithError("a generated track has a fault");
        return;
      }
      events += check.events;
    }
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(state.iterations() * total_size(tracks));
  state.counters["events"] = static_cast<double>(events);
  state.counters["MB"] = static_cast<double>(total_size(tracks)) / 1e6;
}

void bm_summarize_music(benchmark::State& state, const std::vector<track>& (*data)()) {
  const std::vector<track>& tracks = data();
  const std::vector<std::span<const std::uint8_t>> views(tracks.begin(), tracks.end());
  for (auto _ : state) {
    const mthc::music_summary summary = mthc::summarize_music(1, 480, views);
    benchmark::DoNotOptimize(summary.tracks.data());
  }
  state.SetBytesProcessed(state.iterations() * total_size(tracks));
  state.counters["song_seconds"] = mthc::summarize_music(1, 480, views).duration_seconds;
}

BENCHMARK_CAPTURE(bm_check_track, generated_song, song)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_check_track, without_running_status, song_without_running_status)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_summarize_music, generated_song, song)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_summarize_music, without_running_status, song_without_running_status)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
