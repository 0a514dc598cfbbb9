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
// Measured with callgrind on MIDI-like data (scripts/decode_instructions.sh):
// 7.7 to 8.4 instructions per decoded byte where reading a flag bit at a
// time takes 20. The loop is bound by the chain from one token's position to the
// next (window load, table lookup, bit count), so what lies on that chain
// is kept short even at the cost of an instruction elsewhere.
//
// None of this looks at the end of the input or of the room: the loop only
// starts a pass when both are far enough away for its worst case (the
// margins below). Distance codes too long for a window are left to the
// careful loop; length codes too long for one are read with the careful
// reader in place.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#include "codec/cpu_features.hpp"
#include "codec/decode_block_internal.hpp"

#if defined(__GNUC__) || defined(__clang__)
#define MTHC_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define MTHC_ALWAYS_INLINE inline
#endif

namespace mthc::detail {

namespace {

// ---- Flag bits and windows ----
//
// The loop's place in the input is a cursor: `in`, the next packed byte,
// with the unread bits of the current flag byte held left-aligned in `bits`,
// from bit 63 down to bit `bits_end` (zeros below them). A fresh flag byte
// fills the top eight bits, so bits_end is k_fresh_bits_end (56) plus the
// bits of the flag byte already read. Between tokens it is 56 to 63; after
// a distance code it may be 64 (no unread bit), a fresh flag byte then
// being the byte after the distance byte.

constexpr unsigned k_flag_byte_bits = 8;
// Bytes loaded for one window of flag bits, and the register that holds it.
constexpr std::size_t k_window_bytes = 8;
constexpr unsigned k_window_bits = k_window_bytes * k_flag_byte_bits;
static_assert(k_window_bits == 64);

constexpr unsigned k_fresh_bits_end = k_window_bits - k_flag_byte_bits;
// A flag byte used up: no unread bit.
constexpr unsigned k_used_up_bits_end = k_window_bits;
// The flag byte lies on a byte boundary of the register, so the bits read
// from its start on, bits_end - 56 + n after n more, count whole bytes as
// (bits_end + n) / 8 - 7 and bits within the last one as (bits_end + n) % 8.
static_assert(k_fresh_bits_end % k_flag_byte_bits == 0);
constexpr std::ptrdiff_t k_fresh_bytes_end = k_fresh_bits_end / k_flag_byte_bits;

// How many bits of a window one code may use. A window holds the unread
// bits and the eight bytes after them, the last one cut short by as many
// bits as are unread, and the byte that holds the bit after the code must be
// in it whole, because it becomes the current flag byte. Keeping the code
// and that bit to the first seven bytes after the unread bits leaves the
// code their 56 bits less one, in every case (even with no unread bit).
constexpr unsigned k_max_window_use = (k_window_bytes - 1) * k_flag_byte_bits - 1;
static_assert(k_max_window_use == 55);

// The unread bits of a flag byte of which r bits (0 to 8) are read: the top
// 8 - r bits.
constexpr std::array<std::uint64_t, k_flag_byte_bits + 1> k_unread_bits = {
    0xFF00000000000000, 0xFE00000000000000, 0xFC00000000000000,
    0xF800000000000000, 0xF000000000000000, 0xE000000000000000,
    0xC000000000000000, 0x8000000000000000, 0,
};

std::uint64_t load_be64(const std::uint8_t* p) noexcept {
  std::uint64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) return v;
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  std::uint64_t swapped = 0;
  for (int i = 0; i < 8; ++i, v >>= 8)
    swapped = (swapped << 8) | (v & 0xFF);
  return swapped;
#endif
}

// The number of leading zero bits of a word that is not zero (std::countl_zero
// also tests for zero, which the loop never passes).
MTHC_ALWAYS_INLINE unsigned leading_zeros(std::uint64_t x) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_clzll(x));
#else
  return static_cast<unsigned>(std::countl_zero(x));
#endif
}

// The loop's place in the input (see above).
struct packed_cursor {
  const std::uint8_t* in;
  std::uint64_t bits;
  unsigned bits_end;
};

MTHC_ALWAYS_INLINE void take_fresh_flag_byte(packed_cursor& c) noexcept {
  c.bits = std::uint64_t{*c.in++} << k_fresh_bits_end;
  c.bits_end = k_fresh_bits_end;
}

// The unread flag bits followed by the next packed bytes taken as flag
// bits: right for as long as no literal or distance byte is read, which
// holds within a code.
// One shift after the load, by the number of unread bits (64 - bits_end,
// taken modulo 64 so that none unread shifts by 0): the load lies on the
// path from token to token.
MTHC_ALWAYS_INLINE std::uint64_t window_at(const packed_cursor& c) noexcept {
  return c.bits | (load_be64(c.in) >> ((0U - c.bits_end) & (k_window_bits - 1)));
}

// Conversions to and from the careful loop's flag register (see
// block_state), whose low byte holds the unread bits (0 to 7: the bit that
// loads a flag byte is read at once) above a sentinel 1.
constexpr unsigned k_max_unread_in_register = k_flag_byte_bits - 1;
constexpr std::uint32_t k_register_byte = 0xFF;

std::uint32_t to_flag_register(std::uint64_t bits, unsigned unread) noexcept {
  const std::uint32_t high =
      unread == 0 ? 0U : static_cast<std::uint32_t>(bits >> (k_window_bits - unread));
  return ((high << 1) | 1U) << (k_max_unread_in_register - unread);
}

unsigned unread_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned low = flag_register & k_register_byte;
  // Only the sentinel (at bit 7), or nothing yet: no unread bit.
  if ((low & (k_register_byte >> 1)) == 0) return 0;
  return k_max_unread_in_register - static_cast<unsigned>(std::countr_zero(low));
}

std::uint64_t bits_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned unread = unread_in_flag_register(flag_register);
  if (unread == 0) return 0;
  return (std::uint64_t{flag_register & k_register_byte} >> (k_flag_byte_bits - unread))
         << (k_window_bits - unread);
}

// The cursor at the careful loop's place. A fresh flag byte is taken at
// once when none is under way: inside the loop a token always starts with
// an unread bit.
packed_cursor cursor_at(const block_state& s) noexcept {
  const unsigned unread = unread_in_flag_register(s.flag_register);
  packed_cursor c{s.in_next, bits_in_flag_register(s.flag_register), k_window_bits - unread};
  if (c.bits_end == k_used_up_bits_end) take_fresh_flag_byte(c);
  return c;
}

// Back to the careful loop's way: a fresh flag byte taken ahead is given
// back.
void leave_at(block_state& s, packed_cursor c) noexcept {
  if (c.bits_end == k_fresh_bits_end) {
    --c.in;
    c.bits_end = k_used_up_bits_end;
  }
  s.in_next = c.in;
  s.flag_register = to_flag_register(c.bits, k_window_bits - c.bits_end);
}

// ---- Margins ----
//
// A pass of the loop is one token, or a literal run and the match after it.
// It reads and writes without a bound check, so it only starts where the
// input and the room hold the most that it can use.

// A literal run takes the bytes of the flag byte's 1 bits, at most eight,
// copied as one word, and then perhaps a fresh flag byte.
constexpr std::size_t k_literal_word = 8;
static_assert(k_literal_word >= k_flag_byte_bits);
constexpr std::size_t k_max_literal_run_input = k_literal_word + 1;

// How far a code of at most k_max_window_use bits moves the input when it
// starts after `read` bits of the current flag byte: past the byte that
// holds its last bit or the bit after it.
constexpr std::size_t max_code_input(unsigned read) {
  return (read + k_max_window_use) / k_flag_byte_bits;
}
// A match's head starts with an unread bit (at most 7 read); its length
// code, after the distance byte, may start with the flag byte used up.
constexpr std::size_t k_max_head_input = max_code_input(k_flag_byte_bits - 1);
constexpr std::size_t k_distance_byte = 1;
constexpr std::size_t k_max_length_input = max_code_input(k_flag_byte_bits);
static_assert(k_max_head_input == 7 && k_max_length_input == 7);

constexpr std::size_t k_max_match_input = k_max_head_input + k_distance_byte + k_max_length_input;
constexpr std::size_t k_max_pass_input = k_max_literal_run_input + k_max_match_input;
// Every load reads a window (or the literal word) from where the input is;
// the last, for the length code, starts after at most a literal run, a
// head and the distance byte.
constexpr std::size_t k_max_load_end =
    k_max_literal_run_input + k_max_head_input + k_distance_byte + k_window_bytes;
// At least one byte more than a pass can take: after any pass some input is
// left, so the rule "a match that exhausts the input ends the block" only
// applies after a length code read by the careful reader (checked at the
// exit).
constexpr std::size_t k_input_margin = std::max(k_max_pass_input + 1, k_max_load_end);

// Match copies go in chunks and may write up to this many bytes beyond the
// match; the bytes that follow it overwrite them. A match is copied this way
// only if the room holds the match and the overrun.
constexpr std::size_t k_copy_chunk = 16;
constexpr std::size_t k_copy_overrun = k_copy_chunk - 1;
// A pass starts only with room for a literal run's word and, after it, a
// match of a short length code (its count checked with the tables below)
// with its copy overrun; the room for longer matches is checked per match.
constexpr std::size_t k_max_short_count = 19;
constexpr std::size_t k_max_pass_output = k_literal_word + k_max_short_count;
constexpr std::size_t k_output_margin = k_max_pass_output + k_copy_overrun;

// Instead of checking both margins on every pass, the loop counts down the
// passes that are sure to find them: a pass takes at most
// k_max_pass_input bytes of input and gives at most k_max_pass_output bytes
// of output, unless its match is long (which checks its own room, and
// whose length code may come from the careful reader); after such a match
// the count is taken anew.

// The passes whose output the room holds.
std::size_t passes_within_output(const std::uint8_t* out, const std::uint8_t* out_end) noexcept {
  const auto out_left = static_cast<std::size_t>(out_end - out);
  if (out_left < k_output_margin) return 0;
  return (out_left - k_output_margin) / k_max_pass_output + 1;
}

std::size_t passes_within_margins(const std::uint8_t* in, const std::uint8_t* in_end,
                                  const std::uint8_t* out, const std::uint8_t* out_end) noexcept {
  const auto in_left = static_cast<std::size_t>(in_end - in);
  if (in_left < k_input_margin) return 0;
  const std::size_t by_input = (in_left - k_input_margin) / k_max_pass_input + 1;
  return std::min(by_input, passes_within_output(out, out_end));
}

// ---- Gamma codes ----

// Continue bits of a gamma code read from a window shifted so that the code
// starts at bit 63 sit at bits 62, 60, ... A code that ends at bit p has used
// 64 - p bits of it; together with the `bits_before` bits ahead of the code
// (the match flag; or the two length bits) it must stay within
// k_max_window_use, so lower positions are masked off. That leaves codes of
// up to 26 steps: all distances of a block and lengths up to 2^26.
constexpr std::uint64_t continue_bits(unsigned bits_before) {
  return 0x5555555555555555 &
         (~std::uint64_t{0} << (bits_before + k_window_bits - k_max_window_use));
}
constexpr unsigned k_match_flag_bits = 1;
constexpr unsigned k_length_bits = 2;
constexpr std::uint64_t k_distance_code_stops = continue_bits(k_match_flag_bits);
constexpr std::uint64_t k_length_code_stops = continue_bits(k_length_bits);
static_assert(k_distance_code_stops == 0x5555555555555400);
static_assert(k_length_code_stops == 0x5555555555555000);

// The value of the gamma code that starts at bit 63 of `code` and is `bits`
// long (2 to 54, even): a leading 1 followed by its data bits, which sit at
// every second position, gathered by halving the gaps between them. (PEXT
// gathers them in one instruction, but codes this long are few: measured,
// a variant with it was no faster than without.)
MTHC_ALWAYS_INLINE std::uint32_t gamma_value(std::uint64_t code, unsigned bits) noexcept {
  std::uint64_t x = (code >> (k_window_bits - bits) >> 1) & 0x5555555555555555;
  x = (x | (x >> 1)) & 0x3333333333333333;
  x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0F;
  x = (x | (x >> 4)) & 0x00FF00FF00FF00FF;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFF;
  x = (x | (x >> 16)) & 0x00000000FFFFFFFF;
  return static_cast<std::uint32_t>(x | (std::uint64_t{1} << (bits / 2)));
}

// The distance of a gamma value v other than 2 and the low byte b that
// follows it: (v - 3) x 256 + b + 1, wrapping at 32 bits as in the careful
// loop. 0 is the end marker.
constexpr std::uint32_t new_distance(std::uint32_t v, std::uint32_t low_byte) {
  return v * 256U + low_byte - 767U;
}
// What a match's distance adds to its length code L: 1, or 2 beyond
// k_long_distance.
MTHC_ALWAYS_INLINE std::uint32_t count_extra_of(std::size_t distance) noexcept {
  return distance > k_long_distance ? 2U : 1U;
}
constexpr std::uint32_t k_max_count_extra = 2;

// ---- Short codes, by table ----
//
// Most codes are short: in MIDI-like data 95% of the distance codes have at
// most three steps, and 94% of the length codes are two bits, or two zero
// bits and a gamma code of at most three steps. Tables indexed by the next
// eight bits of a window give what they mean and the number of bits they use
// (0 for a longer code, gathered from the window).
constexpr unsigned k_code_index_bits = 8;
constexpr unsigned k_code_table_size = 1U << k_code_index_bits;

// An entry packs the bits used in its low byte, k_repeated for the repeated
// distance, and a value above them: at k_head_value_shift in the distance
// and head tables, at k_length_value_shift in the length table.
constexpr std::uint32_t k_used_mask = 0xFF;
constexpr std::uint32_t k_repeated = 0x100;
constexpr unsigned k_head_value_shift = 16;
constexpr unsigned k_length_value_shift = 8;

constexpr unsigned bits_used(std::uint32_t entry) noexcept {
  return entry & k_used_mask;
}

// The longest gamma code in the tables: three steps.
constexpr unsigned k_short_code_bits = 6;

// The gamma code at the top of the eight bits `bits`, if it ends within
// their first `available`: its value, and its length in `used`.
struct gamma_prefix {
  unsigned value;
  unsigned used;
};

constexpr gamma_prefix gamma_in_byte(unsigned bits, unsigned available) {
  unsigned v = 1;
  for (unsigned used = 2; used <= available; used += 2) {
    v = v * 2 + ((bits >> (k_code_index_bits - used + 1)) & 1U);
    if (((bits >> (k_code_index_bits - used)) & 1U) != 0) return {v, used};
  }
  return {0, 0};
}

// A short distance code: the repeated distance (v = 2), or the distance
// without its low byte. With at most three steps v is at most 15, so the
// distance is neither 0 (the end marker) nor above k_long_distance: the
// count is always L + 1. The bits used count the match flag.
// Indexed by the eight bits after the match flag.
constexpr std::array<std::uint32_t, k_code_table_size> make_distance_codes() {
  std::array<std::uint32_t, k_code_table_size> table{};
  for (unsigned i = 0; i < k_code_table_size; ++i) {
    const gamma_prefix code = gamma_in_byte(i, k_short_code_bits);
    if (code.used == 0) continue;
    const std::uint32_t used = k_match_flag_bits + code.used;
    table[i] = code.value == 2 ? (used | k_repeated)
                               : (used | new_distance(code.value, 0) << k_head_value_shift);
  }
  return table;
}

// A short length code: two bits L of 1 to 3, or two 0 bits and a gamma code
// w for L = w + 2.
constexpr std::array<std::uint32_t, k_code_table_size> make_length_codes() {
  std::array<std::uint32_t, k_code_table_size> table{};
  for (unsigned i = 0; i < k_code_table_size; ++i) {
    const unsigned two_bits = i >> (k_code_index_bits - k_length_bits);
    if (two_bits != 0) {
      table[i] = two_bits << k_length_value_shift | k_length_bits;
      continue;
    }
    const gamma_prefix code = gamma_in_byte((i << k_length_bits) & 0xFF, k_short_code_bits);
    if (code.used != 0)
      table[i] = (code.value + 2) << k_length_value_shift | (k_length_bits + code.used);
  }
  return table;
}

constexpr std::array<std::uint32_t, k_code_table_size> k_distance_codes = make_distance_codes();
constexpr std::array<std::uint32_t, k_code_table_size> k_length_codes = make_length_codes();
static_assert(k_distance_codes[0x40] == (3 | k_repeated));               // 01: v = 2
static_assert(k_distance_codes[0xC0] == (3 | 1 << 16));                  // 11: v = 3
static_assert(k_distance_codes[0x04] == (7 | (5 * 256 + 1) << 16));      // 000001: v = 8
static_assert(k_distance_codes[0x01] == 0);                              // four steps
static_assert((k_distance_codes[0xAC] >> 16) + 255 == k_long_distance);  // 101011: v = 15
static_assert(k_length_codes[0x40] == (1 << 8 | 2));                     // 01
static_assert(k_length_codes[0x30] == (5 << 8 | 4));                     // 00 11: w = 3
static_assert(k_length_codes[0x01] == (10 << 8 | 8));                    // 00 000001: w = 8

// The head of a match, by one lookup: indexed by the top eleven bits of a
// window that starts at the match flag (a 0, so the index is below 1024),
// what its distance code and, for the repeated distance, its length code
// mean. Most matches in MIDI-like data repeat the last distance with a short
// length code (two in three as our encoder packs it, one in three as the
// reference library does), and for them this is the whole head: its entry
// has k_repeated and L as its value. A new distance's entry is the distance
// code's (its low byte and length code follow); 0 when either code is
// longer than the table covers.
constexpr unsigned k_head_index_bits = 11;
constexpr unsigned k_head_table_size = 1U << (k_head_index_bits - k_match_flag_bits);
// The head of the repeated distance: the match flag and 01 (v = 2).
constexpr unsigned k_repeated_head_bits = 3;
constexpr std::uint64_t k_repeated_head = 0b001;
// The longest head the table covers: 0 01 00 and a length code of three
// steps; the length code's eight bits follow the repeated head.
static_assert(k_repeated_head_bits + k_length_bits + k_short_code_bits == k_head_index_bits);
static_assert(k_repeated_head_bits + k_code_index_bits == k_head_index_bits);

constexpr std::array<std::uint32_t, k_head_table_size> make_match_heads() {
  std::array<std::uint32_t, k_head_table_size> table{};
  for (unsigned i = 0; i < k_head_table_size; ++i) {
    // The ten bits after the match flag, as the top of a byte and the rest.
    const std::uint32_t distance =
        k_distance_codes[i >> (k_head_index_bits - k_match_flag_bits - k_code_index_bits)];
    if (distance == 0) continue;
    if ((distance & k_repeated) == 0) {
      table[i] = distance;
      continue;
    }
    const std::uint32_t length = k_length_codes[i & (k_code_table_size - 1)];
    if (length == 0) continue;
    table[i] = (bits_used(distance) + bits_used(length)) | k_repeated |
               (length >> k_length_value_shift) << k_head_value_shift;
  }
  return table;
}
constexpr std::array<std::uint32_t, k_head_table_size> k_match_heads = make_match_heads();
static_assert(k_match_heads[0x180] == (5 | k_repeated | 2 << 16));  // 0 01 10: L = 2
static_assert(k_match_heads[0x130] == (7 | k_repeated | 5 << 16));  // 0 01 00 11: w = 3
static_assert(k_match_heads[0x300] == (3 | 1 << 16));               // 0 11: v = 3
static_assert(k_match_heads[0x100] == 0);  // 0 01 00 then a length code of four steps

// The largest count of a short length code: L = 17 (w = 15) and, after a
// long distance, 2 more.
constexpr unsigned longest_short_length() {
  unsigned longest = 0;
  for (const std::uint32_t code : k_length_codes)
    longest = std::max(longest, code >> k_length_value_shift);
  return longest;
}
static_assert(longest_short_length() == 17);  // 00 101011: w = 15
static_assert(k_max_short_count == longest_short_length() + k_max_count_extra);
// A short match is copied in at most two chunks.
static_assert(k_max_short_count <= 2 * k_copy_chunk);

// The tables the loop reads, side by side, so that one register can
// address all of them.
// (cppcheck does not see the members read through the constant below.)
struct loop_tables {
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, k_head_table_size> match_heads;
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, k_code_table_size> length_codes;
  std::array<std::uint64_t, k_flag_byte_bits + 1> unread_bits;
};
constexpr loop_tables k_loop_tables = {k_match_heads, k_length_codes, k_unread_bits};

// ---- Using flag bits ----

// Uses the first `n` bits of `window` (taken at the cursor), n >= 1. A code
// that reaches past the current flag byte makes the byte its last bit is in
// the current one, and moves `in` past it.
//
// Before a byte is read (the distance byte), a flag byte used up stays so:
// the next flag byte comes after the distance byte.
MTHC_ALWAYS_INLINE void use_before_byte(packed_cursor& c, std::uint64_t window,
                                        unsigned n) noexcept {
  // The place of the last bit used, from the start of the current flag
  // byte: it decides the byte that becomes current, of which 1 to 8 bits
  // are then read.
  const unsigned last_bit = c.bits_end - k_fresh_bits_end + n - 1;
  c.in += last_bit / k_flag_byte_bits;
  const unsigned read = last_bit % k_flag_byte_bits + 1;
  c.bits_end = k_fresh_bits_end + read;
  c.bits = (window << n) & k_loop_tables.unread_bits[read];
}

// At the end of a token the next read is a flag bit, so a flag byte used
// up is followed by a fresh one at once (whose bits the window holds):
// `bits_end` stays 56 to 63.
MTHC_ALWAYS_INLINE void use_to_token_end(packed_cursor& c, std::uint64_t window,
                                         unsigned n) noexcept {
  const unsigned end = c.bits_end + n;
  c.in += static_cast<std::ptrdiff_t>(end / k_flag_byte_bits) - k_fresh_bytes_end;
  c.bits_end = k_fresh_bits_end + end % k_flag_byte_bits;
  // The unread bits, by two shifts rather than a mask from a table: the
  // next token's literal run waits on them, and a load would add its
  // latency to every token.
  c.bits = ((window << n) >> c.bits_end) << c.bits_end;
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

// The loop itself, compiled into each variant below.
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

// ---- The variants, and the choice among them ----
//
// The loop is compiled twice from the same source: for any processor of the
// architecture, and for those with the bit-manipulation extensions (BMI1,
// BMI2, LZCNT, MOVBE; x86-64 processors since about 2013), whose shifts by
// a variable count, leading-zero counts and byte-swapping loads each take
// one instruction. That is worth 4 to 9% in wall time on MIDI-like and
// incompressible data, and nothing on long repeats, which are bound by their
// copies: on an AMD EPYC (Zen 5), 31 interleaved repetitions of
// scripts/decode_variants.sh gave 1.04 to 1.05 times the portable loop's
// speed on MIDI-like data and 1.07 to 1.09 on random data (the 95%
// intervals all above 1.02), 0.98 to 1.00 on repetitive data (intervals
// spanning 1).
//
// Measured the same way and removed, as they gained nothing beyond the
// noise: PEXT for long gamma codes (0.998 to 1.022 times the loop without
// it, every interval spanning 1), and LZCNT written out in assembly, without
// the clearing instruction compilers put before their own (1.003 and 0.998
// times the compiler's on MIDI-like data, intervals 0.98 to 1.02). Both
// save instructions, 3 to 4% together by callgrind's count, but not time:
// long gamma codes are few, and a register cleared by XOR costs the
// processor next to nothing.

using fast_loop_function = fast_loop_exit (*)(block_state&) noexcept;

fast_loop_exit fast_loop_portable(block_state& s) noexcept {
  return fast_loop_any_output(s);
}

#if MTHC_X86_64_EXTENSIONS
__attribute__((target("bmi,bmi2,lzcnt,movbe"))) fast_loop_exit fast_loop_bit_manipulation(
    block_state& s) noexcept {
  return fast_loop_any_output(s);
}
#endif

fast_loop_function function_of([[maybe_unused]] fast_loop_variant variant) noexcept {
#if MTHC_X86_64_EXTENSIONS
  if (variant == fast_loop_variant::bit_manipulation) return fast_loop_bit_manipulation;
#endif
  return fast_loop_portable;
}

// The variant run_fast_loop calls: at first a function that asks the
// processor, stores the variant that suits it here, and runs it. Relaxed
// ordering is enough: every thread that asks stores the same function, and
// a thread that still sees the first one only asks again.
fast_loop_exit choose_and_run(block_state& s) noexcept;
constinit std::atomic<fast_loop_function> chosen_fast_loop{choose_and_run};

fast_loop_exit choose_and_run(block_state& s) noexcept {
  const fast_loop_function chosen =
      function_of(this_cpu().bit_manipulation ? fast_loop_variant::bit_manipulation
                                              : fast_loop_variant::portable);
  chosen_fast_loop.store(chosen, std::memory_order_relaxed);
  return chosen(s);
}

}  // namespace

bool can_run(fast_loop_variant variant) noexcept {
  return variant == fast_loop_variant::portable || this_cpu().bit_manipulation;
}

fast_loop_exit run_fast_loop_variant(block_state& s, fast_loop_variant variant) noexcept {
  return function_of(variant)(s);
}

fast_loop_exit run_fast_loop(block_state& s) noexcept {
  return chosen_fast_loop.load(std::memory_order_relaxed)(s);
}

}  // namespace mthc::detail
