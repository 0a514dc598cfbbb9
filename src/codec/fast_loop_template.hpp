// The fast loop of the block decoder.
//
// Why it is faster than reading the stream one flag bit at a time:
//
// - A token starts with the current flag byte in a register, with at least
//   one unread bit: when a token uses up a flag byte, the next one is taken
//   at once, as the next token's first read is always a flag bit. A run of
//   literals is then the number of leading 1 bits of that register, and its
//   bytes are the next packed bytes, copied as one 8-byte word.
// - The bits of a match's codes come from a window. Inside a code no
//   literal or distance byte is read, so the flag bits after the current
//   flag byte are simply the next packed bytes: a window is the unread bits
//   of the current flag byte followed by the next packed bytes, as one
//   64-bit word. What a short code means, and how many bits it uses, comes
//   from a table indexed by the top of the window; for the repeated distance
//   with a short length code, the most common match, one lookup gives the
//   whole head. A longer code's length is one count of leading zeros over
//   its continue bits, its data bits are gathered from the window.
// - Matches are copied in 16- or 8-byte words where the distance allows it;
//   short distances build their repeating pattern first. A distance is
//   checked against the output once; its repeats are not.
//
// Measured with callgrind on MIDI-like data (scripts/bench/decode_instructions.sh):
// 7.7 to 8.4 instructions per decoded byte where reading a flag bit at a
// time takes 20. The loop is bound by the chain from one token's position to the
// next (window load, table lookup, bit count), so what lies on that chain
// is kept short even at the cost of an instruction elsewhere.
//
// None of this looks at the end of the input or of the room: the loop only
// starts a pass when both are far enough away for its worst case (the
// margins, fast_loop_margins.hpp). Distance codes too long for a window are
// left to the careful loop; length codes too long for one are read with the
// careful reader in place.
//
// The loop is a template (fast_loop below), compiled into each variant for
// a processor's instruction set in fast_loop_variants.cpp, which also picks
// the variant at run time. Its parts, one file each: the cursor over the
// input (fast_loop_cursor.hpp), the match copies (fast_loop_copies.hpp), the
// margins (fast_loop_margins.hpp) and the codes (fast_loop_codes.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "codec/always_inline.hpp"
#include "codec/decode_block_internal.hpp"
#include "codec/fast_loop_codes.hpp"
#include "codec/fast_loop_copies.hpp"
#include "codec/fast_loop_cursor.hpp"
#include "codec/fast_loop_margins.hpp"

namespace mthc::codec {

// Internal linkage: these parts are compiled into each variant of the loop
// in fast_loop_variants.cpp, the one file that includes them.
namespace {  // NOLINT(cert-dcl59-cpp): one translation unit's parts, as above

// ---- The parts of a token ----
//
// A token is a literal run, or a match, or a literal run and the match after
// it in the same flag byte. A literal is a flag bit 1 and a byte; a match
// is a flag bit 0, a distance code (a gamma value; a low byte follows unless
// it is the repeated distance) and a length code (two bits, or two 0 bits
// and a gamma value).

// A literal run, at a flag bit of 1: every 1 bit up to the next 0 or to
// the end of the current flag byte (~bits has a 1 below the unread bits, so
// the count stops there), each with its byte from the input, copied as one
// word. Returns whether a match follows in the same flag byte; when the run
// used the flag byte up the token ends, and the next byte is taken as the
// fresh flag byte.
MTHC_ALWAYS_INLINE bool literal_run_before_match(packed_cursor& c, std::uint8_t*& out) noexcept {
  // (The count is taken to a full register, as it is added to pointers.)
  const std::uint64_t run = leading_zeros(~c.bits);
  copy8(out, c.in);
  out += run;
  c.in += run;
  c.bits <<= run;
  c.bits_end += static_cast<unsigned>(run);
  if (c.bits_end == k_used_up_bits_end) [[unlikely]] {
    take_fresh_flag_byte(c);
    return false;
  }
  return true;
}

// The head table's entry for the match whose flag starts `window`.
MTHC_ALWAYS_INLINE std::uint32_t match_head(std::uint64_t window) noexcept {
  return k_loop_tables.match_heads[window >> (k_window_bits - k_head_index_bits)];
}

// A match head of the repeated distance and a short length code (entry
// `head`, with k_repeated): uses it and returns L.
MTHC_ALWAYS_INLINE std::uint32_t repeated_short_head(packed_cursor& c, std::uint64_t window,
                                                     std::uint32_t head) noexcept {
  use_to_token_end(c, window, bits_used(head));
  return head >> k_head_value_shift;
}

// A new distance of a short code (entry `head`, not 0 and without
// k_repeated): uses the code and reads the low byte. Never above
// k_long_distance.
MTHC_ALWAYS_INLINE std::size_t short_new_distance(packed_cursor& c, std::uint64_t window,
                                                  std::uint32_t head) noexcept {
  use_before_byte(c, window, bits_used(head));
  return (head >> k_head_value_shift) + *c.in++;
}

enum class long_distance { repeated, new_distance, end_marker, too_long };

// A match head the table does not cover: a longer distance code, or the
// repeated distance with a longer length code. The code's length is where
// its first continue bit of 1 is, its value is gathered from the window;
// a new distance (with its low byte) is stored in `distance`. A code too
// long for a window is left unread, for the careful loop.
MTHC_ALWAYS_INLINE long_distance long_distance_code(packed_cursor& c, std::uint64_t window,
                                                    std::size_t& distance) noexcept {
  const std::uint64_t code = window << k_match_flag_bits;
  const std::uint64_t stops = code & k_distance_code_stops;
  if (stops == 0) [[unlikely]]
    return long_distance::too_long;
  const unsigned code_bits = leading_zeros(stops) + 1;
  use_before_byte(c, window, k_match_flag_bits + code_bits);
  if ((window >> (k_window_bits - k_repeated_head_bits)) == k_repeated_head)
    return long_distance::repeated;
  const std::uint32_t d = new_distance(gamma_value(code, code_bits), *c.in++);
  if (d == 0) [[unlikely]]
    return long_distance::end_marker;
  distance = d;
  return long_distance::new_distance;
}

// The length table's entry for the length code that starts `window`.
MTHC_ALWAYS_INLINE std::uint32_t length_code(std::uint64_t window) noexcept {
  return k_loop_tables.length_codes[window >> (k_window_bits - k_code_index_bits)];
}

// A short length code (table entry `entry`, not 0): uses it and returns L.
MTHC_ALWAYS_INLINE std::uint32_t short_length(packed_cursor& c, std::uint64_t window,
                                              std::uint32_t entry) noexcept {
  use_to_token_end(c, window, bits_used(entry));
  return entry >> k_length_value_shift;
}

// A length code the table does not cover (only for matches longer than
// 17): if it fits a window, uses it, stores L in `length` and returns true;
// otherwise uses nothing and returns false.
MTHC_ALWAYS_INLINE bool long_length(packed_cursor& c, std::uint64_t window,
                                    std::uint32_t& length) noexcept {
  const std::uint64_t code = window << k_length_bits;
  const std::uint64_t stops = code & k_length_code_stops;
  if (stops == 0) return false;
  const unsigned code_bits = leading_zeros(stops) + 1;
  use_to_token_end(c, window, k_length_bits + code_bits);
  length = gamma_value(code, code_bits) + 2;
  return true;
}

// A length code too long for a window (only in damaged or contrived
// streams), by the careful reader, which stops the block if the input ends
// within the code: returns false then. Stores L in `length` and leaves the
// cursor where the careful loop would be.
MTHC_ALWAYS_INLINE bool careful_length(const block_state& s, packed_cursor& c, std::uint64_t window,
                                       std::uint32_t& length) noexcept {
  use_before_byte(c, window, k_length_bits);
  block_state rest = s;
  rest.in_next = c.in;
  rest.flag_register = to_flag_register(c.bits, k_window_bits - c.bits_end);
  std::uint32_t w = 0;
  const bool complete = read_gamma(rest, w);
  c.in = rest.in_next;
  c.bits_end = k_window_bits - unread_in_flag_register(rest.flag_register);
  c.bits = bits_in_flag_register(rest.flag_register);
  length = w + 2;
  return complete;
}

// A match of a long length code, whose room is checked here: in chunks when
// its distance is far (at least a chunk back, and within the output, as
// `out_chunk_on` is a chunk after the start) and the room holds it with the
// overrun, otherwise as the careful loop copies it. Returns whether the
// distance was far.
MTHC_ALWAYS_INLINE bool copy_long_match(std::uint8_t*& out, const std::uint8_t* out_chunk_on,
                                        const std::uint8_t* out_begin, const std::uint8_t* out_end,
                                        std::size_t distance, std::uint32_t count) noexcept {
  if (distance - k_copy_chunk <= static_cast<std::size_t>(out - out_chunk_on) &&
      count + k_copy_overrun <= static_cast<std::size_t>(out_end - out)) [[likely]] {
    copy_far_match(out, distance, count);
    out += count;
    return true;
  }
  out = copy_match_within(out, out_begin, out_end, distance, count);
  return false;
}

// ---- The loop ----

// The loop itself, compiled into each variant (fast_loop_variants.cpp).
template <bool settled>
MTHC_ALWAYS_INLINE fast_loop_exit fast_loop(block_state& s) noexcept {
  // The loop starts with room for a pass, one byte more input for taking a
  // fresh flag byte first, and a chunk of output already there (so that a
  // match's distance is checked by one comparison below).
  if (static_cast<std::size_t>(s.in_end - s.in_next) < k_input_margin + 1 ||
      static_cast<std::size_t>(s.out_end - s.out_next) < k_output_margin ||
      static_cast<std::size_t>(s.out_next - s.out_begin) < k_copy_chunk) {
    return fast_loop_exit::careful;
  }
  const std::uint8_t* const in_end = s.in_end;
  std::uint8_t* const out_begin = s.out_begin;
  std::uint8_t* const out_end = s.out_end;
  const std::uint8_t* const out_chunk_on = out_begin + k_copy_chunk;
  const std::uint8_t* const out_settled = out_begin + k_settled_output;
  std::uint8_t* out = s.out_next;
  packed_cursor c = cursor_at(s);
  // The distance of the last match, repeated by the next that asks for it.
  // (Held in a full register: it is added to pointers.)
  std::size_t distance = s.last_distance;
  // count_extra_of(distance), kept at hand for the repeated distance.
  std::uint32_t count_extra = count_extra_of(distance);
  // Whether the distance was found far (at least a chunk back, and within
  // the output) by the last match that used it: the output only grows, so
  // a repeat of it is, without a check.
  bool repeat_far = false;
  fast_loop_exit result = fast_loop_exit::careful;
  // At least one, by the check on entry.
  std::size_t passes = passes_within_margins(c.in, in_end, out, out_end);

  do {
    // One pass: a literal run, or a match, or a literal run and a match.
    if ((c.bits >> (k_window_bits - 1)) != 0) [[likely]] {
      if (!literal_run_before_match(c, out)) continue;
    }

    // A match. Most heads are one lookup: the whole head for a repeated
    // distance, the distance code for a new one.
    std::uint64_t window = window_at(c);
    const std::uint32_t head = match_head(window);
    std::uint32_t count = 0;
    if ((head & k_repeated) != 0) [[likely]] {
      count = repeated_short_head(c, window, head) + count_extra;
      // The same distance as the last match: when that was far, it still is.
      if (repeat_far) [[likely]] {
        copy_far_short_match(out, distance, count);
        out += count;
        continue;
      }
    } else {
      if (head != 0) [[likely]] {
        distance = short_new_distance(c, window, head);
        count_extra = 1;
      } else {
        const long_distance kind = long_distance_code(c, window, distance);
        if (kind == long_distance::too_long) [[unlikely]]
          break;  // the careful loop takes this match
        if (kind == long_distance::end_marker) [[unlikely]] {
          result = fast_loop_exit::stopped;
          break;
        }
        count_extra = count_extra_of(distance);
      }

      // The length code.
      window = window_at(c);
      if (const std::uint32_t entry = length_code(window); entry != 0) [[likely]] {
        count = short_length(c, window, entry) + count_extra;
      } else {
        std::uint32_t length = 0;
        if (long_length(c, window, length)) {
          repeat_far = copy_long_match(out, out_chunk_on, out_begin, out_end, distance,
                                       length + count_extra);
          // The match used the input of a pass but more output: fewer
          // passes may follow (one more here, as the count goes down below).
          passes = std::min(passes, passes_within_output(out, out_end) + 1);
          continue;
        }
        // The loop ends after this match, as its length code may have taken
        // the input to its end.
        if (!careful_length(s, c, window, length)) {
          result = fast_loop_exit::stopped;
          break;
        }
        out = copy_match_within(out, out_begin, out_end, distance, length + count_extra);
        break;
      }
    }

    repeat_far = copy_short_match<settled>(out, out_chunk_on, distance, count);
    // (Every pass comes here, also those that `continue`.)
  } while ((settled || out < out_settled) &&
           (--passes != 0 || (passes = passes_within_margins(c.in, in_end, out, out_end)) != 0));

  leave_at(s, c);
  s.out_next = out;
  s.last_distance = static_cast<std::uint32_t>(distance);
  // Only a length code read by the careful reader can bring the input to
  // its end; after a match that ends the block.
  if (s.in_next == s.in_end) result = fast_loop_exit::stopped;
  return result;
}

MTHC_ALWAYS_INLINE fast_loop_exit fast_loop_any_output(block_state& s) noexcept {
  if (static_cast<std::size_t>(s.out_next - s.out_begin) >= k_settled_output)
    return fast_loop<true>(s);
  return fast_loop<false>(s);
}

}  // namespace

}  // namespace mthc::codec
