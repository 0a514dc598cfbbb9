// The block decoder: worked streams, the stopping rules, and truncation.
#include <gtest/gtest.h>

#include <mthc/decode_block.hpp>
#include <random>

#include "bit_writer.hpp"
#include "container_builder.hpp"

namespace mthc {
namespace {

using test::bit_writer;
using test::bytes;

bytes decode(const bytes& packed, std::size_t room) {
  // A canary beyond the room catches writes past it.
  bytes out(room + 16, 0xEE);
  const std::size_t n = decode_block(packed, std::span(out.data(), room));
  EXPECT_LE(n, room);
  for (std::size_t i = room; i < out.size(); ++i)
    EXPECT_EQ(out[i], 0xEE) << "write past the room";
  out.resize(std::min(n, room));
  return out;
}

bytes repeat(std::uint8_t value, std::size_t count) {
  return bytes(count, value);
}

struct stream_case {
  const char* name;
  bytes packed;
  std::size_t room;
  bytes expected;
};

bytes concat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts)
    test::append(out, p);
  return out;
}

std::vector<stream_case> crafted_cases() {
  std::vector<stream_case> cases;
  cases.push_back({"empty input", {}, 64, {}});
  cases.push_back({"zero room", {0xFF, 1, 2}, 0, {}});
  // Flag bits 1 (literal 0x41), 0 (match), gamma 2 = data 0 + stop 1, length
  // bits 0 1: L = 1, count 2 at the start distance 1; input then exhausted.
  cases.push_back({"literal then repeated-distance match", {0x94, 0x41}, 64, repeat(0x41, 3)});
  // As above, but length bits 0 0 and gamma 3 (data 1, stop 1): L = 5, count
  // 6. Every bit lies in the first flag byte, so the match happens although
  // the input ran out after the literal.
  cases.push_back(
      {"match from the current flag byte after input ran out", {0x93, 0x5A}, 64, repeat(0x5A, 7)});
  cases.push_back(
      {"eight literals then no flag byte left", concat({{0xFF}, repeat(7, 8)}), 64, repeat(7, 8)});
  cases.push_back({"literal with the output full stops", {0xFF, 1, 2, 3, 4}, 2, {1, 2}});
  cases.push_back({"match is cut at the room", {0x93, 0x5A}, 4, repeat(0x5A, 4)});
  {
    // End marker after two literals; the bytes behind it are never read.
    bit_writer w;
    w.literal(1);
    w.literal(2);
    w.end_marker();
    w.literal(3);
    cases.push_back({"end marker stops with bytes remaining", w.bytes, 64, {1, 2}});
  }
  {
    // A distance beyond the output copies nothing; decoding goes on.
    bit_writer w;
    w.literal(9);
    w.match(5, 4);
    w.literal(8);
    cases.push_back({"distance beyond the output copies nothing", w.bytes, 64, {9, 8}});
  }
  {
    bit_writer w;
    w.last_distance = 0;  // force an explicit distance code for distance 1
    w.literal(0xAB);
    w.match(1, 5);
    w.literal(0);
    cases.push_back(
        {"distance one after one byte repeats it", w.bytes, 64, concat({repeat(0xAB, 6), {0}})});
  }
  {
    // The first match uses the repeated-distance code: distance 1.
    bit_writer w;
    w.literal(5);
    w.flag(0);
    w.gamma(2);
    w.flag(1);
    w.flag(1);  // L = 3, count 4
    w.literal(6);
    cases.push_back({"repeated distance starts at one", w.bytes, 64, concat({repeat(5, 5), {6}})});
  }
  {
    // An overlapping copy with distance 3 repeats a three-byte pattern.
    bit_writer w;
    w.literals(bytes{1, 2, 3});
    w.match(3, 10);
    cases.push_back({"overlapping copy repeats a pattern",
                     w.bytes,
                     64,
                     {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1}});
  }
  {
    // Input runs out while a gamma code needs another flag byte: the partly
    // read match has no effect.
    bit_writer w;
    w.literals(bytes{1, 2, 3, 4, 5, 6, 7});
    w.match(1, 300);
    bytes packed = w.bytes;
    packed.resize(9);  // flag byte and seven literals, then the second flag byte only
    cases.push_back({"stop in the middle of a gamma code", packed, 512, {1, 2, 3, 4, 5, 6, 7}});
  }
  {
    // A missing distance byte stops the block at once.
    bit_writer w;
    w.literal(1);
    w.match(300, 4);
    bytes packed = w.bytes;
    packed.pop_back();
    cases.push_back({"missing distance byte", packed, 64, {1}});
  }
  {
    // Gamma values wrap at 32 bits: a length gamma of 2^32 - 1 makes
    // L = 2^32 + 1 = 1, so the copy is 2 bytes.
    bit_writer w;
    w.literals(bytes{4, 5});
    w.flag(0);
    w.gamma(2);  // repeated distance 1
    w.flag(0);
    w.flag(0);
    w.gamma(0xFFFFFFFF);
    w.literal(6);
    cases.push_back({"length gamma wraps at 32 bits", w.bytes, 64, {4, 5, 5, 5, 6}});
  }
  return cases;
}

TEST(DecodeBlock, CraftedStreams) {
  for (const stream_case& c : crafted_cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(c.packed, c.room), c.expected);
  }
}

TEST(DecodeBlock, LongDistancesCopyOneByteMore) {
  // The same length code copies one byte more beyond distance 0xD00.
  for (const std::uint32_t distance : {3327U, 3328U, 3329U, 3330U, 65535U}) {
    SCOPED_TRACE(distance);
    bytes prefix(distance);
    for (std::size_t i = 0; i < prefix.size(); ++i)
      prefix[i] = static_cast<std::uint8_t>(i * 7);
    bit_writer w;
    w.literals(prefix);
    w.flag(0);
    w.gamma(((distance - 1) >> 8) + 3);
    w.byte(static_cast<std::uint8_t>((distance - 1) & 0xFF));
    w.flag(0);
    w.flag(1);  // L = 1
    w.literal(0xFF);
    const bytes out = decode(w.bytes, 70000);
    const std::size_t count = distance > 0xD00 ? 3 : 2;
    ASSERT_EQ(out.size(), prefix.size() + count + 1);
    for (std::size_t i = 0; i < count; ++i)
      EXPECT_EQ(out[distance + i], prefix[i]);
    EXPECT_EQ(out.back(), 0xFF);
  }
}

// A random mix of literals and matches, with the output it must decode to.
struct scripted_stream {
  bytes packed;
  bytes output;
};

scripted_stream random_stream(std::uint64_t seed, std::size_t operations) {
  std::mt19937_64 r(seed);
  bit_writer w;
  bytes out;
  std::uint32_t last = 1;
  for (std::size_t op = 0; op < operations; ++op) {
    const unsigned kind = static_cast<unsigned>(r() % 4);
    if (out.empty() || kind == 0) {
      const auto b = static_cast<std::uint8_t>(r());
      w.literal(b);
      out.push_back(b);
      continue;
    }
    std::uint32_t distance = kind == 1 ? last : 1 + static_cast<std::uint32_t>(r() % out.size());
    if (distance > out.size()) distance = static_cast<std::uint32_t>(out.size());
    const std::uint32_t min_count = distance > 0xD00 ? 3 : 2;
    const std::uint32_t count =
        min_count + static_cast<std::uint32_t>(r() % (r() % 8 == 0 ? 300 : 6));
    w.match(distance, count);
    last = distance;
    for (std::uint32_t i = 0; i < count; ++i)
      out.push_back(out[out.size() - distance]);
  }
  w.end_marker();
  return {w.bytes, out};
}

TEST(DecodeBlock, RandomScriptsDecodeExactly) {
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    const scripted_stream s = random_stream(seed, 400);
    ASSERT_EQ(decode(s.packed, s.output.size() + 100), s.output) << "seed " << seed;
  }
}

TEST(DecodeBlock, EveryPrefixOfTheInputDecodesToAPrefix) {
  const scripted_stream s = random_stream(77, 600);
  std::size_t previous = 0;
  for (std::size_t n = 0; n <= s.packed.size(); ++n) {
    // The prefix is copied so that it ends flush with its own allocation.
    const bytes prefix(s.packed.begin(), s.packed.begin() + static_cast<std::ptrdiff_t>(n));
    const bytes out = decode(prefix, s.output.size() + 100);
    ASSERT_LE(out.size(), s.output.size()) << "prefix " << n;
    ASSERT_TRUE(std::equal(out.begin(), out.end(), s.output.begin())) << "prefix " << n;
    ASSERT_GE(out.size(), previous) << "a longer prefix produced less, at " << n;
    previous = out.size();
  }
  EXPECT_EQ(previous, s.output.size());
}

TEST(DecodeBlock, EverySmallerRoomGivesThatManyLeadingBytes) {
  const scripted_stream s = random_stream(78, 600);
  for (std::size_t room = 0; room <= s.output.size(); ++room) {
    const bytes out = decode(s.packed, room);
    ASSERT_EQ(out.size(), room);
    ASSERT_TRUE(std::equal(out.begin(), out.end(), s.output.begin())) << "room " << room;
  }
}

TEST(DecodeBlock, DamagedStreamsStayInBounds) {
  // Flipped bytes must never make the decoder read or write out of bounds
  // (the sanitizer build checks the reads; the canary checks the writes).
  const scripted_stream s = random_stream(79, 300);
  std::mt19937_64 r(80);
  for (int trial = 0; trial < 2000; ++trial) {
    bytes damaged = s.packed;
    for (int flips = 0; flips < 3; ++flips) {
      damaged[r() % damaged.size()] ^= static_cast<std::uint8_t>(1U << (r() % 8));
    }
    const std::size_t room = r() % (s.output.size() + 50);
    (void)decode(damaged, room);
  }
}

}  // namespace
}  // namespace mthc
