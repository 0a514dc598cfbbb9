// The block decoder against the plain reference decoder: the same result and
// the same bytes on valid, truncated, damaged and random streams, with rooms
// of every size, the input flush against the end of its allocation (so the
// sanitizer build sees a one-byte over-read) and a canary after the room.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mthc/decode_block.hpp>
#include <random>

#include "bit_writer.hpp"
#include "codec/decode_block_internal.hpp"
#include "container_builder.hpp"
#include "reference_decoder.hpp"

namespace mthc {
namespace {

using test::bit_writer;
using test::bytes;

constexpr std::size_t k_canary_size = 64;
constexpr std::uint8_t k_canary = 0xEE;
// A block never holds more than this; streams with huge counts fill it.
constexpr std::size_t k_large_room = 0x10000;

constexpr codec::fast_loop_variant k_variants[] = {
    codec::fast_loop_variant::portable,
    codec::fast_loop_variant::bit_manipulation,
};

// Decodes `packed` with the reference decoder, with decode_block, and with
// every variant of the fast loop the processor runs, into rooms of `room` bytes and compares the
// results. Returns the number of bytes produced.
std::size_t expect_same(const bytes& packed, std::size_t room) {
  // Exactly packed.size() bytes on the heap: reading one more is an error
  // under AddressSanitizer.
  const std::unique_ptr<std::uint8_t[]> input(new std::uint8_t[packed.size()]);
  if (!packed.empty()) std::memcpy(input.get(), packed.data(), packed.size());
  const std::span<const std::uint8_t> in(input.get(), packed.size());

  bytes expected(room);
  const std::size_t expected_size = test::reference_decode_block(in, expected);

  // -1: decode_block itself.
  for (int v = -1; v < static_cast<int>(std::size(k_variants)); ++v) {
    if (v >= 0 && !codec::can_run(k_variants[v])) continue;
    bytes actual(room + k_canary_size, k_canary);
    const std::span<std::uint8_t> out(actual.data(), room);
    const std::size_t actual_size =
        v < 0 ? decode_block(in, out) : codec::decode_block_with(in, out, k_variants[v]);

    EXPECT_EQ(actual_size, expected_size)
        << "variant " << v << ", room " << room << ", " << packed.size() << " bytes";
    const std::size_t n = std::min({actual_size, expected_size, room});
    const auto mismatch =
        std::mismatch(expected.begin(), expected.begin() + std::ptrdiff_t(n), actual.begin());
    EXPECT_EQ(mismatch.first - expected.begin(), std::ptrdiff_t(n))
        << "first differing byte; room " << room;
    EXPECT_TRUE(std::all_of(actual.begin() + std::ptrdiff_t(room), actual.end(),
                            [](std::uint8_t b) { return b == k_canary; }))
        << "write past the room " << room;
  }
  return expected_size;
}

// A stream of random tokens that exercises every path of the decoder:
// literal runs of every length, matches at every distance class (below a
// word, below two words, long, beyond 0xD00, beyond the output so far,
// repeated), short and long counts, and now and then a code too long for the
// fast path or an end marker in the middle.
struct stream_mix {
  unsigned literal_weight;
  unsigned odd_code_weight;
  bool end_marker;
};

bytes random_stream(std::uint64_t seed, std::size_t tokens, const stream_mix& mix) {
  std::mt19937_64 r(seed);
  auto below = [&r](std::uint64_t n) { return static_cast<std::uint32_t>(r() % n); };
  bit_writer w;
  std::size_t produced = 0;
  for (std::size_t t = 0; t < tokens; ++t) {
    const unsigned kind = below(100);
    if (produced == 0 || kind < mix.literal_weight) {
      const std::uint32_t run = 1 + below(below(4) == 0 ? 40 : 9);
      for (std::uint32_t i = 0; i < run; ++i)
        w.literal(static_cast<std::uint8_t>(r()));
      produced += run;
      continue;
    }
    if (kind < mix.literal_weight + mix.odd_code_weight) {
      // Long codes: length gammas of 19 to 32 steps (the longest ones
      // wrap), a distance gamma of 31 or more steps.
      w.flag(0);
      if (below(3) == 0) {
        w.gamma(2);
        w.flag(0);
        w.flag(0);
        const unsigned steps = 19 + below(12);
        w.gamma((1U << steps) | static_cast<std::uint32_t>(r() & ((1U << steps) - 1)));
      } else if (below(2) == 0) {
        w.gamma(2);
        w.flag(0);
        w.flag(0);
        w.gamma(below(2) == 0 ? 0xFFFFFFFFU : (1U << 31) + below(1000));
      } else {
        w.gamma((1U << 31) | static_cast<std::uint32_t>(r()));
        w.byte(static_cast<std::uint8_t>(r()));
        w.flag(below(2));
        w.flag(1);
      }
      continue;
    }
    std::uint32_t distance = 0;
    switch (below(7)) {
      case 0:
        distance = 1 + below(7);
        break;
      case 1:
        distance = 8 + below(8);
        break;
      case 2:
        distance = 16 + below(200);
        break;
      case 3:
        distance = 1 + below(0xD00);
        break;
      case 4:
        distance = 0xD00 + below(3);
        break;
      case 5:
        distance = w.last_distance;
        break;
      default:
        distance = 1 + below(static_cast<std::uint64_t>(produced) + 20);
        break;
    }
    const std::uint32_t minimum = distance > 0xD00 ? 3 : 2;
    const std::uint32_t count = minimum + below(below(10) == 0 ? 2000 : 30);
    w.match(distance, count);
    if (distance <= produced) produced += count;
  }
  if (mix.end_marker) w.end_marker();
  return w.bytes;
}

const stream_mix k_mixes[] = {
    {30, 0, true},   // ordinary data
    {5, 0, true},    // mostly matches
    {90, 0, false},  // mostly literals, no end marker
    {30, 3, true},   // with odd codes
};

TEST(DecodeDifferential, ValidStreamsWithRandomRooms) {
  std::mt19937_64 r(1);
  for (std::uint64_t seed = 1; seed <= 160; ++seed) {
    const stream_mix& mix = k_mixes[seed % std::size(k_mixes)];
    const bytes packed = random_stream(seed, 50 + r() % 400, mix);
    SCOPED_TRACE(seed);
    const std::size_t full = expect_same(packed, k_large_room);
    expect_same(packed, full);
    for (int i = 0; i < 6; ++i)
      expect_same(packed, r() % (full + 40));
    if (HasFailure()) return;
  }
}

TEST(DecodeDifferential, TruncatedStreams) {
  std::mt19937_64 r(2);
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    const bytes packed = random_stream(seed + 1000, 200, k_mixes[seed % std::size(k_mixes)]);
    SCOPED_TRACE(seed);
    // Every cut within the last 64 bytes (where the fast loop hands over to
    // the careful one) and a few anywhere.
    for (std::size_t cut = packed.size() > 64 ? packed.size() - 64 : 0; cut <= packed.size();
         ++cut) {
      expect_same(bytes(packed.begin(), packed.begin() + std::ptrdiff_t(cut)), k_large_room);
    }
    for (int i = 0; i < 20; ++i) {
      const std::size_t cut = r() % (packed.size() + 1);
      expect_same(bytes(packed.begin(), packed.begin() + std::ptrdiff_t(cut)), r() % 20000);
    }
    if (HasFailure()) return;
  }
}

TEST(DecodeDifferential, DamagedStreams) {
  std::mt19937_64 r(3);
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const bytes packed = random_stream(seed + 2000, 300, k_mixes[seed % std::size(k_mixes)]);
    SCOPED_TRACE(seed);
    for (int trial = 0; trial < 40; ++trial) {
      bytes damaged = packed;
      const int flips = 1 + static_cast<int>(r() % 4);
      for (int i = 0; i < flips; ++i) {
        const std::size_t at = r() % damaged.size();
        if (r() % 2 == 0) {
          damaged[at] ^= static_cast<std::uint8_t>(1U << (r() % 8));
        } else {
          damaged[at] = static_cast<std::uint8_t>(r());
        }
      }
      expect_same(damaged, r() % 2 == 0 ? k_large_room : r() % 20000);
    }
    if (HasFailure()) return;
  }
}

TEST(DecodeDifferential, RandomBytes) {
  // Random bytes are mostly literal runs and matches at wild distances, and
  // their gamma codes are sometimes long; biased bytes give more matches.
  std::mt19937_64 r(4);
  for (int trial = 0; trial < 600; ++trial) {
    bytes packed(1 + r() % 3000);
    const std::uint64_t bias = r() % 3;
    for (auto& b : packed) {
      b = static_cast<std::uint8_t>(r());
      if (bias == 1) b &= static_cast<std::uint8_t>(r());  // more 0 bits: matches, long codes
      if (bias == 2) b |= static_cast<std::uint8_t>(r());  // more 1 bits: literal runs
    }
    expect_same(packed, r() % 2 == 0 ? k_large_room : r() % 5000);
    if (HasFailure()) return;
  }
}

TEST(DecodeDifferential, GeneratedDataRoundTrips) {
  // Matches of every distance class over a long stream, decoded to the byte.
  std::mt19937_64 r(5);
  bit_writer w;
  bytes expected;
  for (int i = 0; i < 3000; ++i) {
    if (expected.size() < 8 || r() % 3 == 0) {
      const auto b = static_cast<std::uint8_t>(r());
      w.literal(b);
      expected.push_back(b);
      continue;
    }
    const std::uint32_t limit =
        static_cast<std::uint32_t>(std::min<std::size_t>(expected.size(), 70000));
    const std::uint32_t distance =
        1 + static_cast<std::uint32_t>(r() % (r() % 2 == 0 ? 20 : limit));
    const std::uint32_t count = (distance > 0xD00 ? 3 : 2) + static_cast<std::uint32_t>(r() % 40);
    w.match(distance, count);
    for (std::uint32_t k = 0; k < count; ++k)
      expected.push_back(expected[expected.size() - distance]);
  }
  w.end_marker();
  bytes out(expected.size() + 100);
  ASSERT_EQ(decode_block(w.bytes, out), expected.size());
  out.resize(expected.size());
  EXPECT_EQ(out, expected);
  expect_same(w.bytes, expected.size());
}

}  // namespace
}  // namespace mthc
