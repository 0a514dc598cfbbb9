#include "generated_data.hpp"

#include <algorithm>
#include <array>
#include <random>

#include "midi_quantity.hpp"

namespace mthc::test {

namespace {

using rng = std::mt19937_64;

unsigned pick(rng& r, unsigned bound) {
  return static_cast<unsigned>(r() % bound);
}

struct note {
  std::uint8_t pitch;
  std::uint32_t start;  // ticks within the bar
  std::uint32_t length;
  std::uint8_t velocity;
};

std::vector<note> make_motif(rng& r, std::uint8_t base) {
  static constexpr std::array<int, 7> k_scale = {0, 2, 4, 5, 7, 9, 11};
  std::vector<note> motif;
  const unsigned steps = 4 + pick(r, 13);
  const std::uint32_t step = 1920 / steps;
  for (unsigned i = 0; i < steps; ++i) {
    if (pick(r, 5) == 0) continue;  // a rest
    const int degree = static_cast<int>(pick(r, 14));
    const int pitch = base + 12 * (degree / 7) + k_scale[static_cast<std::size_t>(degree % 7)];
    motif.push_back({static_cast<std::uint8_t>(std::clamp(pitch, 0, 127)), i * step,
                     step / (1 + pick(r, 2)), static_cast<std::uint8_t>(64 + pick(r, 48))});
  }
  return motif;
}

}  // namespace

std::vector<std::uint8_t> random_bytes(std::uint64_t seed, std::size_t size) {
  rng r(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out)
    b = static_cast<std::uint8_t>(r());
  return out;
}

std::vector<std::uint8_t> repetitive_bytes(std::uint64_t seed, std::size_t size) {
  rng r(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    const unsigned period = 1 + pick(r, 8);
    const std::size_t run = 64 + pick(r, 4000);
    std::array<std::uint8_t, 8> pattern{};
    for (auto& b : pattern)
      b = static_cast<std::uint8_t>(r());
    for (std::size_t i = 0; i < run && out.size() < size; ++i)
      out.push_back(pattern[i % period]);
  }
  return out;
}

std::vector<std::uint8_t> midi_track(std::uint64_t seed, unsigned channel, unsigned bars) {
  rng r(seed);
  const auto base = static_cast<std::uint8_t>(36 + pick(r, 36));
  std::vector<std::vector<note>> motifs;
  for (unsigned i = 0, n = 2 + pick(r, 3); i < n; ++i)
    motifs.push_back(make_motif(r, base));
  const auto status_on = static_cast<std::uint8_t>(0x90 | (channel & 0x0F));
  const auto status_cc = static_cast<std::uint8_t>(0xB0 | (channel & 0x0F));
  const auto status_bend = static_cast<std::uint8_t>(0xE0 | (channel & 0x0F));

  // Program change and initial volume.
  std::vector<std::uint8_t> out = {0x00,
                                   static_cast<std::uint8_t>(0xC0 | (channel & 0x0F)),
                                   static_cast<std::uint8_t>(pick(r, 128)),
                                   0x00,
                                   status_cc,
                                   0x07,
                                   100};
  std::uint8_t running = 0;
  std::uint32_t pending = 0;  // ticks since the last event
  auto event = [&](std::uint8_t status, std::uint8_t a, std::uint8_t b) {
    put_quantity(out, pending);
    pending = 0;
    if (status != running) out.push_back(status);
    running = status;
    out.push_back(a);
    out.push_back(b);
  };

  for (unsigned bar = 0; bar < bars; ++bar) {
    const auto& motif = motifs[(bar / 2) % motifs.size()];
    const int transpose = bar % 8 >= 4 ? static_cast<int>(pick(r, 3)) * 2 - 2 : 0;
    // Note on and note off (as velocity 0) events in time order.
    struct timed {
      std::uint32_t time;
      std::uint8_t pitch;
      std::uint8_t velocity;
    };
    std::vector<timed> events;
    for (const note& n : motif) {
      const auto pitch = static_cast<std::uint8_t>(std::clamp(n.pitch + transpose, 0, 127));
      const int jitter = static_cast<int>(pick(r, 9)) - 4;
      events.push_back(
          {n.start, pitch, static_cast<std::uint8_t>(std::clamp(n.velocity + jitter, 1, 127))});
      events.push_back({n.start + n.length, pitch, 0});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const timed& a, const timed& b) { return a.time < b.time; });
    std::uint32_t now = 0;
    for (const timed& e : events) {
      pending += e.time - now;
      now = e.time;
      event(status_on, e.pitch, e.velocity);
    }
    pending += 1920 - now;
    if (bar % 16 == 15) {  // a controller sweep over the last bar of a phrase
      for (unsigned v = 0; v < 128; v += 8) {
        event(status_cc, 11, static_cast<std::uint8_t>(v));
        pending += 30;
      }
    }
    if (pick(r, 6) == 0) {  // a short pitch bend
      for (unsigned v = 0x40; v < 0x50; v += 4)
        event(status_bend, 0, static_cast<std::uint8_t>(v));
      event(status_bend, 0, 0x40);
    }
  }
  put_quantity(out, pending);
  out.insert(out.end(), {0xFF, 0x2F, 0x00});
  return out;
}

std::vector<std::vector<std::uint8_t>> midi_song(std::uint64_t seed, unsigned track_count,
                                                 unsigned bars) {
  std::vector<std::vector<std::uint8_t>> tracks;
  if (track_count == 0) return tracks;
  // Track 0: tempo, time signature and a name, as sequencers write them.
  tracks.push_back({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04, 0x04,
                    0x02, 0x18, 0x08, 0x00, 0xFF, 0x03, 0x04, 's',  'o',  'n',  'g'});
  put_quantity(tracks[0], 1920 * bars);
  tracks[0].insert(tracks[0].end(), {0xFF, 0x2F, 0x00});
  for (unsigned t = 1; t < track_count; ++t) {
    tracks.push_back(midi_track(seed * 1000003 + t, (t - 1) % 16, bars));
  }
  return tracks;
}

std::vector<std::uint8_t> midi_like_bytes(std::uint64_t seed, std::size_t size) {
  std::vector<std::uint8_t> out;
  out.reserve(size);
  for (std::uint64_t song = 0; out.size() < size; ++song) {
    for (const auto& track : midi_song(seed + song, 8, 64)) {
      out.insert(out.end(), track.begin(), track.end());
      if (out.size() >= size) break;
    }
  }
  out.resize(size);
  return out;
}

}  // namespace mthc::test
