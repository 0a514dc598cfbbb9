// The fast loop of the block decoder.
//
// Why it is faster than reading the stream one flag bit at a time:
//
// - Flag bits come from a window. Inside a gamma code and inside the length
//   code no literal or distance byte is read, so the flag bits after the
//   current flag byte are simply the next packed bytes. A window is the
//   unread bits of the current flag byte followed by the next eight packed
//   bytes, as one 64-bit word. Short codes (nearly all of them) are looked up
//   in a table by the window's top bits; longer ones are found with one count
//   of leading zeros over their continue bits, and their data bits gathered
//   without a branch per bit.
// - A run of literals is copied as one 8-byte word: the run's length is the
//   number of leading 1 bits of the current flag byte.
// - Matches are copied in 16- or 8-byte words where the distance allows it;
//   short distances build their repeating pattern first.
//
// None of this looks at the end of the input or of the room: the loop only
// starts when both are far enough away for the worst case of one pass (the
// margins below). Distance codes too long for a window are left to the
// careful loop; length codes too long for one are read with the careful
// reader in place.
#include <array>
#include <bit>
#include <cstring>

#include "codec/decode_block_internal.hpp"

namespace mthc::detail {

namespace {

// ---- Windows and margins ----

// Bytes loaded for one window of flag bits.
constexpr std::size_t k_window_bytes = 8;
constexpr unsigned k_window_bits = 64;
static_assert(k_window_bits == 8 * k_window_bytes);

// How many bits of a window one code may use. The window's last byte is cut
// short by the unread bits of the current flag byte in front of it (one to
// eight of them), and the byte that holds the last bit used must be in the
// window whole, because its unread bits become the current flag bits.
constexpr unsigned k_max_window_use = k_window_bits - 7;

// The input one pass of the loop reads or consumes at most: a literal run,
// then a match.
//
// A literal run loads at most one fresh flag byte, then copies one word of
// literal bytes. A match reads two windows with the distance byte between
// them. Each window starts at the current flag byte, which has at least one
// unread bit (a fresh flag byte counts as one of the window's bytes), and its
// code uses at most k_max_window_use bits of it, so consuming the code moves
// the input at most k_window_bytes forward.
constexpr std::size_t k_literal_word = 8;
constexpr std::size_t k_max_literal_run_input = 1 + k_literal_word;
constexpr std::size_t k_max_match_input = k_window_bytes + 1 + k_window_bytes;
// One byte more than a pass can take: after any pass some input is left, so
// the rule "a match that exhausts the input ends the block" only applies
// after a length code read by the careful reader (checked at the exit).
constexpr std::size_t k_input_margin = k_max_literal_run_input + k_max_match_input + 1;

// Match copies go in chunks and may write up to this many bytes beyond the
// match; the bytes that follow it overwrite them. A match is copied this way
// only if the room holds the match and the overrun.
constexpr std::size_t k_copy_chunk = 16;
constexpr std::size_t k_copy_overrun = k_copy_chunk - 1;
// A literal run writes one whole word; matches check the room themselves.
constexpr std::size_t k_output_margin = k_literal_word;

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
  // Between tokens at least one bit of the current flag byte has been read,
  // so count is at most 7 and the sentinel sits at bit 7 - count.
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

// The top `n` bits set, for n from 0 to 8.
constexpr std::array<std::uint64_t, 9> k_top_bits = {
    0,
    0x8000000000000000,
    0xC000000000000000,
    0xE000000000000000,
    0xF000000000000000,
    0xF800000000000000,
    0xFC00000000000000,
    0xFE00000000000000,
    0xFF00000000000000,
};

// Takes `used` (1 to k_max_window_use) bits of `window`: the rest of the
// current flag byte first, then whole bytes of the input, of which the last
// one read becomes the current flag byte with its unread bits.
void consume(std::uint64_t window, unsigned used, const std::uint8_t*& in, flag_bits& f) noexcept {
  const unsigned left = (f.count - used) & 7U;
  in += (used + left - f.count) / 8;
  f.bits = (window << used) & k_top_bits[left];
  f.count = left;
}

// ---- Gamma codes ----

// Continue bits of a gamma code read from a window shifted so that the code
// starts at bit 63 sit at bits 62, 60, ... A code that ends at bit p has used
// 64 - p bits of it; together with the `bits_before` bits ahead of the code
// (the match flag; or the two length bits) it must stay within
// k_max_window_use, so lower positions are masked off. That leaves codes of
// up to 27 steps: all distances of a block and lengths up to 2^27.
constexpr std::uint64_t continue_bits(unsigned bits_before) {
  return 0x5555555555555555 &
         (~std::uint64_t{0} << (bits_before + k_window_bits - k_max_window_use));
}
constexpr std::uint64_t k_distance_code_stops = continue_bits(1);
constexpr std::uint64_t k_length_code_stops = continue_bits(2);
static_assert(k_distance_code_stops == 0x5555555555555500);
static_assert(k_length_code_stops == 0x5555555555555400);

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

// Short codes, by table. Most codes are short: in MIDI-like data 95% of the
// distance codes have at most three steps, and 94% of the length codes are
// two bits, or two zero bits and a gamma code of at most three steps. A table
// indexed by the next eight bits of the window gives their value and the
// number of bits they use (0 for a longer code).
struct short_code {
  std::uint8_t value;
  std::uint8_t used;
};
using short_code_table = std::array<short_code, 256>;

// The gamma code at the top of the eight bits `bits`, if it ends within
// their first `available`: its value and its length.
constexpr short_code gamma_in_byte(unsigned bits, unsigned available) {
  unsigned v = 1;
  for (unsigned used = 2; used <= available; used += 2) {
    v = v * 2 + ((bits >> (8 - used + 1)) & 1U);
    if (((bits >> (8 - used)) & 1U) != 0) {
      return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(used)};
    }
  }
  return {0, 0};
}

// Indexed by the eight bits after the match flag: the distance code's value
// and the bits used together with the flag.
constexpr short_code_table make_distance_codes() {
  short_code_table table{};
  for (unsigned i = 0; i < 256; ++i) {
    const short_code code = gamma_in_byte(i, 6);
    if (code.used != 0) table[i] = {code.value, static_cast<std::uint8_t>(code.used + 1)};
  }
  return table;
}

// Indexed by the eight bits of the length code: L and the bits used.
constexpr short_code_table make_length_codes() {
  short_code_table table{};
  for (unsigned i = 0; i < 256; ++i) {
    if ((i >> 6) != 0) {
      table[i] = {static_cast<std::uint8_t>(i >> 6), 2};
      continue;
    }
    const short_code code = gamma_in_byte((i << 2) & 0xFF, 6);
    if (code.used != 0) {
      table[i] = {static_cast<std::uint8_t>(code.value + 2),
                  static_cast<std::uint8_t>(code.used + 2)};
    }
  }
  return table;
}

constexpr short_code_table k_distance_codes = make_distance_codes();
constexpr short_code_table k_length_codes = make_length_codes();
static_assert(k_distance_codes[0x40].value == 2 && k_distance_codes[0x40].used == 3);  // 01
static_assert(k_distance_codes[0xC0].value == 3 && k_distance_codes[0xC0].used == 3);  // 11
static_assert(k_distance_codes[0x04].value == 8 && k_distance_codes[0x04].used == 7);  // 000001
static_assert(k_distance_codes[0x01].used == 0);  // four steps: gathered from the window
static_assert(k_length_codes[0x40].value == 1 && k_length_codes[0x40].used == 2);   // 01
static_assert(k_length_codes[0x30].value == 5 && k_length_codes[0x30].used == 4);   // 00 11
static_assert(k_length_codes[0x01].value == 10 && k_length_codes[0x01].used == 8);  // 00 000001

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
  std::uint8_t* const out_limit = s.out_end - k_output_margin;
  std::uint8_t* const out_begin = s.out_begin;
  flag_bits f = from_flag_register(s.flag_register);
  std::uint32_t last_distance = s.last_distance;
  fast_loop_exit result = fast_loop_exit::careful;

  do {
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
      // Unless the run used up the flag byte, a 0 bit, a match, follows.
      if (f.count == 0) continue;
    }

    // A match: its flag bit and the distance code from one window. The top
    // bit of the window is the 0 of the flag, so its top nine bits index the
    // table of short distance codes.
    std::uint64_t window = window_at(f, in);
    std::uint32_t v = 0;
    const short_code short_distance = k_distance_codes[window >> 55];
    if (short_distance.used != 0) {
      v = short_distance.value;
      consume(window, short_distance.used, in, f);
    } else {
      const std::uint64_t distance_code = window << 1;
      const std::uint64_t distance_stops = distance_code & k_distance_code_stops;
      if (distance_stops == 0) {
        // Too long for a window: the careful loop takes this match. Nothing
        // of it is consumed but a fresh flag byte, which is given back.
        if (f.count == 8) {
          --in;
          f = {0, 0};
        }
        break;
      }
      const auto distance_bits = static_cast<unsigned>(std::countl_zero(distance_stops)) + 1;
      v = gamma_value(distance_code, distance_bits);
      consume(window, 1 + distance_bits, in, f);
    }
    std::uint32_t distance = last_distance;
    if (v != 2) {
      distance = v * 256U + *in++ - 767U;
      if (distance == 0) {  // end marker
        result = fast_loop_exit::stopped;
        break;
      }
      last_distance = distance;
    }

    // The length code, from a second window after the distance byte.
    window = window_at(f, in);
    std::uint32_t length = 0;
    const short_code short_length = k_length_codes[window >> 56];
    if (short_length.used != 0) {
      length = short_length.value;
      consume(window, short_length.used, in, f);
    } else {
      const std::uint64_t length_code = window << 2;
      const std::uint64_t length_stops = length_code & k_length_code_stops;
      if (length_stops != 0) {
        const auto length_bits = static_cast<unsigned>(std::countl_zero(length_stops)) + 1;
        length = gamma_value(length_code, length_bits) + 2;
        consume(window, 2 + length_bits, in, f);
      } else {
        // Too long for a window (only in damaged or contrived streams): the
        // careful reader, which stops the block if the input ends within
        // the code.
        consume(window, 2, in, f);
        block_state rest = s;
        rest.in_next = in;
        rest.flag_register = to_flag_register(f);
        std::uint32_t w = 0;
        if (!read_gamma(rest, w)) {
          in = rest.in_next;
          result = fast_loop_exit::stopped;
          break;
        }
        in = rest.in_next;
        f = from_flag_register(rest.flag_register);
        length = w + 2;
      }
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

  // Only a length code read by the careful reader can bring the input to
  // its end; after a match that ends the block.
  if (in == s.in_end) result = fast_loop_exit::stopped;
  s.in_next = in;
  s.out_next = out;
  s.flag_register = to_flag_register(f);
  s.last_distance = last_distance;
  return result;
}

}  // namespace mthc::detail
