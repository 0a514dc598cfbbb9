// The fast loop of the block decoder.
//
// Why it is faster than reading the stream one flag bit at a time:
//
// - Flag bits come from a window. Inside a gamma code and inside the length
//   code no literal or distance byte is read, so the flag bits after the
//   current flag byte are simply the next packed bytes. A window is the
//   unread bits of the current flag byte followed by the next eight packed
//   bytes, as one 64-bit word; a whole gamma code is found in it with one
//   count of leading zeros over its continue bits, and its data bits are
//   gathered without a branch per bit.
// - A run of literals is copied as one 8-byte word: the run's length is the
//   number of leading 1 bits of the current flag byte.
// - Matches are copied in 16- or 8-byte words where the distance allows it,
//   and short distances build their repeating pattern first.
//
// None of this looks at the end of the input or of the room: the loop only
// starts a token when both are far enough away for the worst case of any
// token (the margins below). Codes it does not decode (gamma codes too long
// for a window) are left to the careful loop, one token at a time.
#include <bit>
#include <cstring>

#include "codec/decode_block_internal.hpp"

namespace mthc::detail {

namespace {

// ---- Margins, from the worst case of a single token ----

// Bytes loaded for one window of flag bits.
constexpr std::size_t k_window_bytes = 8;
constexpr unsigned k_window_bits = 64;

// The most input one token can read or consume. A literal run loads at most
// one fresh flag byte, then copies one word of literal bytes. A match reads
// two windows with the distance byte between them. A window starts at the
// current flag byte, which has at least one unread bit (a fresh flag byte is
// loaded first, and counts as one of the window's bytes when it is), and a
// token uses at most k_max_window_use bits of it, so consuming it moves the
// input at most k_window_bytes forward; the second window is read from there plus the
// distance byte.
constexpr std::size_t k_literal_word = 8;
constexpr std::size_t k_max_literal_run_input = 1 + k_literal_word;
constexpr std::size_t k_max_match_input = k_window_bytes + 1 + k_window_bytes;
constexpr std::size_t k_max_token_input =
    k_max_match_input > k_max_literal_run_input ? k_max_match_input : k_max_literal_run_input;
// One byte more than a token can take: after any token of the fast loop some
// input is left, so the careful loop's rule "a match that exhausts the input
// ends the block" never applies inside it.
constexpr std::size_t k_input_margin = k_max_token_input + 1;

// Match copies go in chunks and may write up to this many bytes beyond the
// match; the bytes that follow it overwrite them. A match is copied this way
// only if the room holds the match and the overrun.
constexpr std::size_t k_copy_chunk = 16;
constexpr std::size_t k_copy_overrun = k_copy_chunk - 1;
// A literal run writes one whole word; matches check the room themselves.
constexpr std::size_t k_output_margin = k_literal_word;

// How many bits of a window a token may use. The window's last byte is cut
// short by the unread bits of the current flag byte in front of it (one to
// eight), and the byte that holds the last bit used must be in the window
// whole, because its unread bits become the current flag bits.
constexpr unsigned k_max_window_use = k_window_bits - 7;

// Continue bits of a gamma code read from a window shifted so that the code
// starts at bit 63 sit at bits 62, 60, ... A code that ends at bit p has used
// 64 - p bits of it; together with the `bits_before` bits ahead of the code
// (the match flag; or the two length bits) it must stay within
// k_max_window_use, so lower positions are masked off and such codes left to
// the careful loop. That still decodes every code of up to 27 steps: all
// distances, and lengths up to 2^27.
constexpr std::uint64_t continue_bits(unsigned bits_before) {
  return 0x5555555555555555 &
         (~std::uint64_t{0} << (bits_before + k_window_bits - k_max_window_use));
}
constexpr std::uint64_t k_distance_code_stops = continue_bits(1);
constexpr std::uint64_t k_length_code_stops = continue_bits(2);
static_assert(k_distance_code_stops == 0x5555555555555500);
static_assert(k_length_code_stops == 0x5555555555555400);
static_assert(k_window_bits == 8 * k_window_bytes);

// ---- Flag bits ----
//
// The fast loop holds the unread bits of the current flag byte left-aligned
// in `bits`, with zeros below them, and their number (0 to 8) in `count`.
// A count of 0 means the next flag bit needs a fresh flag byte.

struct flag_bits {
  std::uint64_t bits;
  unsigned count;
};

flag_bits from_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned low = flag_register & 0xFF;
  if ((low & 0x7F) == 0) return {0, 0};
  // The sentinel is the lowest 1 bit; the unread bits are above it.
  const auto sentinel = static_cast<unsigned>(std::countr_zero(low));
  const unsigned count = 7 - sentinel;
  return {(std::uint64_t{low} >> (sentinel + 1)) << (k_window_bits - count), count};
}

std::uint32_t to_flag_register(flag_bits f) noexcept {
  // At a token boundary at least one bit of the current flag byte has been
  // read, so count is at most 7 and the sentinel sits at bit 7 - count.
  const std::uint32_t unread =
      f.count == 0 ? 0U : static_cast<std::uint32_t>(f.bits >> (k_window_bits - f.count));
  return ((unread << 1) | 1U) << (7 - f.count);
}

std::uint64_t load_be64(const std::uint8_t* p) noexcept {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i)
    v = (v << 8) | p[i];
  return v;
}

// The current flag bits followed by the next packed bytes as flag bits.
std::uint64_t window_at(const flag_bits& f, const std::uint8_t* in) noexcept {
  return f.bits | (load_be64(in) >> f.count);
}

// Takes `used` (1 to k_max_window_use) bits of `window`: the rest of the current flag
// byte first, then whole bytes of the input, of which the last one read
// becomes the current flag byte with its unread bits.
void consume(std::uint64_t window, unsigned used, const std::uint8_t*& in, flag_bits& f) noexcept {
  const unsigned left = (f.count - used) & 7U;
  in += (used + left - f.count) / 8;
  f.bits = (window << used) & ~(~std::uint64_t{0} >> left);
  f.count = left;
}

// The value of the gamma code that starts at bit 63 of `code` and is `bits`
// long (2 to 56, even): a leading 1 followed by its data bits, which sit at
// every second position; they are gathered by halving the gaps between them.
std::uint32_t gamma_value(std::uint64_t code, unsigned bits) noexcept {
  std::uint64_t x = (code >> (k_window_bits - bits) >> 1) & 0x5555555555555555;
  x = (x | (x >> 1)) & 0x3333333333333333;
  x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0F;
  x = (x | (x >> 4)) & 0x00FF00FF00FF00FF;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFF;
  x = (x | (x >> 16)) & 0x00000000FFFFFFFF;
  return static_cast<std::uint32_t>(x | (std::uint64_t{1} << (bits / 2)));
}

// ---- Copies ----

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

// Copies `count` bytes (at least 2) from `distance` back (1 to the bytes
// produced), with the same result as copying forwards byte by byte, and may
// write up to k_copy_overrun bytes after them. A chunk is only copied from
// bytes that are already final, so each chunk's source ends at or before its
// destination starts.
void copy_match(std::uint8_t* out, std::uint32_t distance, std::uint32_t count) noexcept {
  std::uint8_t* to = out;
  std::uint8_t* const end = out + count;
  if (distance >= 16) {
    const std::uint8_t* from = out - distance;
    do {
      copy16(to, from);
      to += 16;
      from += 16;
    } while (to < end);
    return;
  }
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

}  // namespace

fast_loop_exit run_fast_loop(block_state& s) noexcept {
  const std::uint8_t* in = s.in_next;
  std::uint8_t* out = s.out_next;
  if (static_cast<std::size_t>(s.in_end - in) < k_input_margin ||
      static_cast<std::size_t>(s.out_end - out) < k_output_margin) {
    return fast_loop_exit::careful;
  }
  const std::uint8_t* const in_limit = s.in_end - k_input_margin;
  const std::uint8_t* const out_limit = s.out_end - k_output_margin;
  std::uint8_t* const out_begin = s.out_begin;
  flag_bits f = from_flag_register(s.flag_register);
  std::uint32_t last_distance = s.last_distance;
  fast_loop_exit result = fast_loop_exit::careful;

  do {
    // Kept so that a code left to the careful loop can be handed over
    // untouched.
    const std::uint8_t* const token_in = in;
    const flag_bits token_flags = f;
    const std::uint32_t token_last_distance = last_distance;

    if (f.count == 0) {
      f.bits = std::uint64_t{*in++} << 56;
      f.count = 8;
    }
    if ((f.bits >> 63) != 0) {
      // A literal run: every 1 bit up to the end of the current flag byte
      // (the bits below the unread ones are 0, so the run ends there).
      const auto run = static_cast<unsigned>(std::countl_one(f.bits));
      copy8(out, in);
      in += run;
      out += run;
      f.bits <<= run;
      f.count -= run;
      continue;
    }

    // A match: its flag bit and the distance code from one window.
    std::uint64_t window = window_at(f, in);
    const std::uint64_t distance_code = window << 1;
    const std::uint64_t distance_stops = distance_code & k_distance_code_stops;
    if (distance_stops == 0) {
      in = token_in;
      f = token_flags;
      break;
    }
    const auto distance_bits = static_cast<unsigned>(std::countl_zero(distance_stops)) + 1;
    const std::uint32_t v = gamma_value(distance_code, distance_bits);
    consume(window, 1 + distance_bits, in, f);
    std::uint32_t distance = last_distance;
    if (v != 2) {
      distance = v * 256U + *in++ - 767U;
      if (distance == 0) {
        result = fast_loop_exit::end_marker;
        break;
      }
      last_distance = distance;
    }

    // The length code, from a second window after the distance byte.
    window = window_at(f, in);
    auto length = static_cast<std::uint32_t>(window >> 62);
    if (length != 0) {
      consume(window, 2, in, f);
    } else {
      const std::uint64_t length_code = window << 2;
      const std::uint64_t length_stops = length_code & k_length_code_stops;
      if (length_stops == 0) {
        in = token_in;
        f = token_flags;
        last_distance = token_last_distance;
        break;
      }
      const auto length_bits = static_cast<unsigned>(std::countl_zero(length_stops)) + 1;
      length = gamma_value(length_code, length_bits) + 2;
      consume(window, 2 + length_bits, in, f);
    }
    const std::uint32_t count = length + (distance > k_long_distance ? 2U : 1U);

    const auto produced = static_cast<std::size_t>(out - out_begin);
    if (distance <= produced) {
      const auto room = static_cast<std::size_t>(s.out_end - out);
      if (std::size_t{count} + k_copy_overrun <= room) {
        copy_match(out, distance, count);
        out += count;
      } else {
        // Near the end of the room, or longer than it: byte by byte, cut at
        // the room, as the careful loop does.
        const std::uint8_t* from = out - distance;
        const std::size_t n = count < room ? count : room;
        for (std::size_t i = 0; i < n; ++i)
          out[i] = from[i];
        out += n;
      }
    }
  } while (in <= in_limit && out <= out_limit);

  s.in_next = in;
  s.out_next = out;
  s.flag_register = to_flag_register(f);
  s.last_distance = last_distance;
  return result;
}

}  // namespace mthc::detail
