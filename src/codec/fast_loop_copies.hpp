// How the fast loop copies a match: in words or chunks where the distance
// allows it, with the same result as the byte-by-byte forward copy of the
// careful loop. A part of the fast loop (fast_loop_template.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/always_inline.hpp"
#include "codec/decode_block_internal.hpp"

namespace mthc::codec {

// Internal linkage: these parts are compiled into each variant of the loop
// in fast_loop_variants.cpp, the one file that includes them.
namespace {  // NOLINT(cert-dcl59-cpp): one translation unit's parts, as above

// Match copies go in chunks and may write up to this many bytes beyond the
// match; the bytes that follow it overwrite them. A match is copied this way
// only if the room holds the match and the overrun.
constexpr std::size_t k_copy_chunk = 16;
constexpr std::size_t k_copy_overrun = k_copy_chunk - 1;

void copy8(std::uint8_t* to, const std::uint8_t* from) noexcept {
  std::uint64_t word = 0;
  std::memcpy(&word, from, sizeof word);
  std::memcpy(to, &word, sizeof word);
}

void copy16(std::uint8_t* to, const std::uint8_t* from) noexcept {
  std::uint8_t chunk[k_copy_chunk];
  std::memcpy(chunk, from, sizeof chunk);
  std::memcpy(to, chunk, sizeof chunk);
}

// Copies `count` bytes (at least 2) from `distance` back (1 to 15, at most
// the bytes produced), with the same result as copying forwards byte by
// byte, and may write up to k_copy_overrun bytes after them. A word is only
// copied from bytes that are already final.
void copy_near_match(std::uint8_t* out, std::size_t distance, std::uint32_t count) noexcept {
  std::uint8_t* to = out;
  std::uint8_t* const end = out + count;
  if (distance >= 8) {
    const std::uint8_t* from = out - distance;
    do {
      copy8(to, from);
      to += 8;
      from += 8;
    } while (to < end);
    return;
  }
  if (distance == 1) {
    const std::uint64_t pattern = out[-1] * std::uint64_t{0x0101010101010101};
    do {
      std::memcpy(to, &pattern, sizeof pattern);
      to += 8;
    } while (to < end);
    return;
  }
  // Distances 2 to 7: each word copied from `distance` back gets its first
  // `distance` bytes right, so step by the distance until at least 8 bytes
  // are right; that span is a whole number of periods, so from then on
  // words can be copied from that far back.
  do {
    copy8(to, to - distance);
    to += distance;
  } while (to < out + 8);
  const std::uint8_t* from = out;
  while (to < end) {
    copy8(to, from);
    to += 8;
    from += 8;
  }
}

// The same from at least a chunk back: the source of each chunk ends
// before its destination starts.
MTHC_ALWAYS_INLINE void copy_far_match(std::uint8_t* out, std::size_t distance,
                                       std::uint32_t count) noexcept {
  const std::uint8_t* from = out - distance;
  copy16(out, from);  // most matches are one chunk
  for (std::uint32_t done = k_copy_chunk; done < count; done += k_copy_chunk)
    copy16(out + done, from + done);
}

// A short match (at most k_max_short_count) from at least a chunk back:
// one or two chunks.
MTHC_ALWAYS_INLINE void copy_far_short_match(std::uint8_t* out, std::size_t distance,
                                             std::uint32_t count) noexcept {
  copy16(out, out - distance);
  if (count > k_copy_chunk) copy16(out + k_copy_chunk, out + k_copy_chunk - distance);
}

// A short match, which the room holds with its copy overrun, after the
// check of its distance: nothing is copied when it reaches before the
// output. `out_chunk_on` is a chunk after the start of the output, which
// `out` has passed. Returns whether the distance was far (at least a chunk
// back, and within the output).
template <bool settled>
MTHC_ALWAYS_INLINE bool copy_short_match(std::uint8_t*& out, const std::uint8_t* out_chunk_on,
                                         std::size_t distance, std::uint32_t count) noexcept {
  // Distances from k_copy_chunk to the bytes produced are those with
  // distance - k_copy_chunk <= out - out_chunk_on; once the output is
  // settled, all of them up to k_long_distance are.
  const std::size_t beyond_chunk = distance - k_copy_chunk;
  if ((settled && beyond_chunk <= k_long_distance - k_copy_chunk) ||
      beyond_chunk <= static_cast<std::size_t>(out - out_chunk_on)) {
    copy_far_short_match(out, distance, count);
    out += count;
    return true;
  }
  if (distance < k_copy_chunk) {
    copy_near_match(out, distance, count);
    out += count;
  }
  return false;
}

// A match of any count, as the careful loop copies it: nothing when the
// distance reaches before the output, and cut at the end of the room. Used
// for long matches; the loop copies short ones itself.
std::uint8_t* copy_match_within(std::uint8_t* out, const std::uint8_t* out_begin,
                                const std::uint8_t* out_end, std::size_t distance,
                                std::uint32_t count) noexcept {
  if (distance > static_cast<std::size_t>(out - out_begin)) return out;
  const auto room = static_cast<std::size_t>(out_end - out);
  if (std::size_t{count} + k_copy_overrun <= room) {
    if (distance < k_copy_chunk) {
      copy_near_match(out, distance, count);
    } else {
      copy_far_match(out, distance, count);
    }
    return out + count;
  }
  // Near the end of the room, or longer than it: byte by byte.
  const std::uint8_t* from = out - distance;
  const std::size_t n = count < room ? count : room;
  for (std::size_t i = 0; i < n; ++i)
    out[i] = from[i];
  return out + n;
}

// Once the output holds this much, every distance up to k_long_distance
// (all that short distance codes give, and most distances) is within it and
// a chunk back or more unless below k_copy_chunk: the loop is "settled" and
// checks such a distance against a constant rather than against the output
// so far. Before, it leaves when the output gets there.
constexpr std::size_t k_settled_output = k_long_distance + k_copy_chunk;

}  // namespace

}  // namespace mthc::codec
