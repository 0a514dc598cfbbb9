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
// 7.3 to 8 instructions per decoded byte where reading a flag bit at a time
// takes 20. The loop is bound by the chain from one token's position to the
// next (window load, table lookup, bit count), so what lies on that chain
// is kept short even at the cost of an instruction elsewhere.
//
// None of this looks at the end of the input or of the room: the loop only
// starts a pass when both are far enough away for its worst case (the
// margins below). Distance codes too long for a window are left to the
// careful loop; length codes too long for one are read with the careful
// reader in place.
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
// The loop's place in the input is `in`, the next packed byte, with the
// unread bits of the current flag byte held left-aligned in `bits`, from bit
// 63 down to bit `bits_end` (zeros below them): bits_end is 56 plus the
// bits of the flag byte already read. Between tokens it is 56 to 63; after a
// distance code it may be 64 (no unread bit), a fresh flag byte then being
// the byte after the distance byte.

// Bytes loaded for one window of flag bits.
constexpr std::size_t k_window_bytes = 8;
constexpr unsigned k_window_bits = 64;
static_assert(k_window_bits == 8 * k_window_bytes);

// How many bits of a window one code may use. A window holds the unread
// bits and the eight bytes after them, the last one cut short by as many
// bits as are unread, and the byte that holds the bit after the code must be
// in it whole, because it becomes the current flag byte. Keeping to the
// first seven bytes after the unread bits leaves 55 in every case.
constexpr unsigned k_max_window_use = 8 * 7 - 1;

// The unread bits of a flag byte of which r bits (0 to 8) are read: the top
// 8 - r bits.
constexpr std::array<std::uint64_t, 9> k_unread_bits = {
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

// The unread flag bits followed by the next packed bytes taken as flag
// bits: right for as long as no literal or distance byte is read, which
// holds within a code.
// One shift after the load, by the number of unread bits (64 - bits_end, 0
// with none unread): the load lies on the path from token to token.
std::uint64_t window_at(std::uint64_t bits, unsigned bits_end, const std::uint8_t* in) noexcept {
  return bits | (load_be64(in) >> ((0U - bits_end) & 63U));
}

// Conversions to and from the careful loop's flag register (see
// block_state), whose low byte holds the unread bits (0 to 7) above a
// sentinel 1.
std::uint32_t to_flag_register(std::uint64_t bits, unsigned unread) noexcept {
  const std::uint32_t high =
      unread == 0 ? 0U : static_cast<std::uint32_t>(bits >> (k_window_bits - unread));
  return ((high << 1) | 1U) << (7 - unread);
}

unsigned unread_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned low = flag_register & 0xFF;
  if ((low & 0x7F) == 0) return 0;
  return 7 - static_cast<unsigned>(std::countr_zero(low));
}

std::uint64_t bits_in_flag_register(std::uint32_t flag_register) noexcept {
  const unsigned unread = unread_in_flag_register(flag_register);
  if (unread == 0) return 0;
  return (std::uint64_t{flag_register & 0xFF} >> (8 - unread)) << (k_window_bits - unread);
}

// ---- Margins ----

// The input one pass of the loop consumes at most: a literal run (up to
// eight bytes and the fresh flag byte after them), then a match: its head
// moves the input at most seven bytes (a code of at most k_max_window_use
// bits starting with an unread bit), then the distance byte, then the length
// code at most eight bytes (it may start with a fresh flag byte). Every load
// reads eight bytes from where the input is, and the last one (for the
// length code) starts at most 9 + 7 + 1 bytes in.
constexpr std::size_t k_literal_word = 8;
constexpr std::size_t k_max_literal_run_input = k_literal_word + 1;
constexpr std::size_t k_max_match_input = 7 + 1 + 8;
static_assert(k_max_literal_run_input + 7 + 1 + k_window_bytes <=
              k_max_literal_run_input + k_max_match_input);
// One byte more than a pass can take: after any pass some input is left, so
// the rule "a match that exhausts the input ends the block" only applies
// after a length code read by the careful reader (checked at the exit).
constexpr std::size_t k_input_margin = k_max_literal_run_input + k_max_match_input + 1;

// Match copies go in chunks and may write up to this many bytes beyond the
// match; the bytes that follow it overwrite them. A match is copied this way
// only if the room holds the match and the overrun.
constexpr std::size_t k_copy_chunk = 16;
constexpr std::size_t k_copy_overrun = k_copy_chunk - 1;
// A pass starts only with room for a literal run's word and, after it, a
// match of a short length code with its copy overrun; the room for longer
// matches is checked per match.
constexpr std::size_t k_max_short_count = 19;
constexpr std::size_t k_output_margin = k_literal_word + k_max_short_count + k_copy_overrun;

// Instead of checking both margins on every pass, the loop counts down the
// passes that are sure to find them: a pass takes at most
// k_max_pass_input bytes of input and gives at most k_max_pass_output bytes
// of output, unless its match is long (which checks its own room, and
// whose length code may come from the careful reader); after such a match
// the count is taken anew.
constexpr std::size_t k_max_pass_input = k_max_literal_run_input + k_max_match_input;
constexpr std::size_t k_max_pass_output = k_literal_word + k_max_short_count;

// The passes whose output the room holds.
std::size_t passes_within_output(const std::uint8_t* out, const std::uint8_t* out_end) noexcept {
  const auto out_left = static_cast<std::size_t>(out_end - out);
  if (out_left < k_output_margin) return 0;
  return (out_left - k_output_margin) / k_max_pass_output + 1;
}

std::size_t passes_within_margins(const std::uint8_t* in, const std::uint8_t* in_end,
                                  const std::uint8_t* out, const std::uint8_t* out_end) noexcept {
  const auto in_left = static_cast<std::size_t>(in_end - in);
  const auto out_left = static_cast<std::size_t>(out_end - out);
  if (in_left < k_input_margin || out_left < k_output_margin) return 0;
  const std::size_t by_input = (in_left - k_input_margin) / k_max_pass_input + 1;
  const std::size_t by_output = (out_left - k_output_margin) / k_max_pass_output + 1;
  return by_input < by_output ? by_input : by_output;
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
constexpr std::uint64_t k_distance_code_stops = continue_bits(1);
constexpr std::uint64_t k_length_code_stops = continue_bits(2);
static_assert(k_distance_code_stops == 0x5555555555555400);
static_assert(k_length_code_stops == 0x5555555555555000);

using loop_variant = fast_loop_variant;

// The value of the gamma code that starts at bit 63 of `code` and is `bits`
// long (2 to 54, even): a leading 1 followed by its data bits, which sit at
// every second position. They are gathered with one PEXT where that is
// fast, otherwise by halving the gaps between them.
template <loop_variant variant>
MTHC_ALWAYS_INLINE std::uint32_t gamma_value(std::uint64_t code, unsigned bits) noexcept {
#if MTHC_X86_64_EXTENSIONS
  if constexpr (variant == loop_variant::bit_manipulation_pext) {
    // PEXT (BMI2), written out: the intrinsic would need the target on every
    // function it is inlined through.
    std::uint64_t data = 0;
    __asm__("pextq %2, %1, %0"
            : "=r"(data)
            : "r"(code >> (k_window_bits - bits)), "r"(std::uint64_t{0xAAAAAAAAAAAAAAAA}));
    return static_cast<std::uint32_t>(data | (std::uint64_t{1} << (bits / 2)));
  }
#endif
  std::uint64_t x = (code >> (k_window_bits - bits) >> 1) & 0x5555555555555555;
  x = (x | (x >> 1)) & 0x3333333333333333;
  x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0F;
  x = (x | (x >> 4)) & 0x00FF00FF00FF00FF;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFF;
  x = (x | (x >> 16)) & 0x00000000FFFFFFFF;
  return static_cast<std::uint32_t>(x | (std::uint64_t{1} << (bits / 2)));
}

// leading_zeros with LZCNT written out in the bit-manipulation variants:
// compilers put a clearing instruction before their own, against a false
// dependency on the target register that some older processors had.
// The count is returned in a full register, as it is added to pointers.
template <loop_variant variant>
MTHC_ALWAYS_INLINE std::uint64_t leading_zeros_of(std::uint64_t x) noexcept {
#if MTHC_X86_64_EXTENSIONS
  if constexpr (variant != loop_variant::portable) {
    __asm__("lzcntq %0, %0" : "+r"(x));
    return x;
  }
#endif
  return leading_zeros(x);
}

// Short codes, by table. Most codes are short: in MIDI-like data 95% of the
// distance codes have at most three steps, and 94% of the length codes are
// two bits, or two zero bits and a gamma code of at most three steps. Tables
// indexed by the next eight bits of a window give what they mean and the
// number of bits they use (0 for a longer code, gathered from the window).

// The gamma code at the top of the eight bits `bits`, if it ends within
// their first `available`: its value, and its length in `used`.
// The longest gamma code in the tables: three steps.
constexpr unsigned k_short_code_bits = 6;

struct gamma_prefix {
  unsigned value;
  unsigned used;
};

constexpr gamma_prefix gamma_in_byte(unsigned bits, unsigned available) {
  unsigned v = 1;
  for (unsigned used = 2; used <= available; used += 2) {
    v = v * 2 + ((bits >> (8 - used + 1)) & 1U);
    if (((bits >> (8 - used)) & 1U) != 0) return {v, used};
  }
  return {0, 0};
}

// A short distance code: the repeated distance (v = 2), or the distance
// without its low byte, (v - 3) x 256 + 1. With at most three steps v is at
// most 15, so the distance is neither 0 (the end marker) nor above
// k_long_distance: the count is always L + 1. An entry packs the bits used
// (with the match flag; 0 for a longer code) in its low byte, the repeated
// distance as k_repeated, and the distance base in its high half.
constexpr std::uint32_t k_repeated = 0x100;

// Indexed by the eight bits after the match flag.
constexpr std::array<std::uint32_t, 256> make_distance_codes() {
  std::array<std::uint32_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    const gamma_prefix code = gamma_in_byte(i, k_short_code_bits);
    if (code.used == 0) continue;
    const std::uint32_t used = code.used + 1;
    table[i] = code.value == 2 ? (used | k_repeated) : (used | ((code.value - 3) * 256 + 1) << 16);
  }
  return table;
}

// A short length code: the bits used in the low byte (0 for a longer code),
// L above it.
constexpr std::array<std::uint32_t, 256> make_length_codes() {
  std::array<std::uint32_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    if ((i >> 6) != 0) {
      table[i] = (i >> 6) << 8 | 2;
      continue;
    }
    const gamma_prefix code = gamma_in_byte((i << 2) & 0xFF, k_short_code_bits);
    if (code.used != 0) table[i] = (code.value + 2) << 8 | (code.used + 2);
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> k_distance_codes = make_distance_codes();
constexpr std::array<std::uint32_t, 256> k_length_codes = make_length_codes();
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
// reference library does), and for them this is the whole head. An entry
// packs the bits used (with the match flag) in its low byte, k_repeated for
// the repeated distance, and above them L (repeated) or the distance base
// (a new distance, whose low byte and length code follow); 0 when either
// code is longer than the table covers.
constexpr unsigned k_head_index_bits = 11;

constexpr std::array<std::uint32_t, 1024> make_match_heads() {
  std::array<std::uint32_t, 1024> table{};
  for (unsigned i = 0; i < 1024; ++i) {
    // The ten bits after the match flag, as the top of a byte and the rest.
    const std::uint32_t distance = k_distance_codes[i >> 2];
    if (distance == 0) continue;
    const unsigned used = distance & 0xFF;
    if ((distance & k_repeated) == 0) {
      table[i] = distance;
      continue;
    }
    // The repeated distance used three bits (flag and 01); its length code
    // is in the eight bits after them.
    const std::uint32_t length = k_length_codes[i & 0xFF];
    if (length == 0) continue;
    table[i] = (used + (length & 0xFFU)) | k_repeated | (length >> 8) << 16;
  }
  return table;
}
constexpr std::array<std::uint32_t, 1024> k_match_heads = make_match_heads();
static_assert(k_match_heads[0x180] == (5 | k_repeated | 2 << 16));  // 0 01 10: L = 2
static_assert(k_match_heads[0x130] == (7 | k_repeated | 5 << 16));  // 0 01 00 11: w = 3
static_assert(k_match_heads[0x300] == (3 | 1 << 16));               // 0 11: v = 3
static_assert(k_match_heads[0x100] == 0);  // 0 01 00 then a length code of four steps
// The longest head the table covers: 0 01 00 and a length code of three steps.
static_assert(3 + 2 + 2 * 3 == k_head_index_bits);

// The largest count of a short length code: L = 17 (w = 15) and, after a
// long distance, 2 more.
constexpr unsigned longest_short_length() {
  unsigned longest = 0;
  for (const std::uint32_t code : k_length_codes)
    longest = (code >> 8) > longest ? (code >> 8) : longest;
  return longest;
}
static_assert(longest_short_length() == 17);  // 00 101011: w = 15
// The count is at most that plus 2 (after a long distance).
static_assert(k_max_short_count == longest_short_length() + 2);
// A short match is copied in at most two chunks.
static_assert(k_max_short_count <= 2 * k_copy_chunk);

// The tables the loop reads, side by side, so that one register can
// address all of them.
// (cppcheck does not see the members read through the constant below.)
struct loop_tables {
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, 1024> match_heads;
  // cppcheck-suppress unusedStructMember
  std::array<std::uint32_t, 256> length_codes;
  std::array<std::uint64_t, 9> unread_bits;
};
constexpr loop_tables k_loop_tables = {k_match_heads, k_length_codes, k_unread_bits};

// ---- Using flag bits ----

// Uses the first `n` bits of `window` (taken at `in`), n >= 1. A code that
// reaches past the current flag byte makes the byte its last bit is in the
// current one, and moves `in` past it.
//
// Before a byte is read (the distance byte), a flag byte used up stays so:
// the next flag byte comes after the distance byte.
MTHC_ALWAYS_INLINE void use_before_byte(const std::uint8_t*& in, std::uint64_t& bits,
                                        unsigned& bits_end, std::uint64_t window,
                                        unsigned n) noexcept {
  // The bits from the start of the current flag byte, less one.
  const unsigned total_less_one = bits_end + n - 57;
  in += total_less_one >> 3;
  bits_end = 57 + (total_less_one & 7U);
  bits = (window << n) & k_loop_tables.unread_bits[bits_end - 56];
}

// At the end of a token the next read is a flag bit, so a flag byte used
// up is followed by a fresh one at once (whose bits the window holds):
// `bits_end` stays 56 to 63.
MTHC_ALWAYS_INLINE void use_to_token_end(const std::uint8_t*& in, std::uint64_t& bits,
                                         unsigned& bits_end, std::uint64_t window,
                                         unsigned n) noexcept {
  // bits_end + n - 56 is the bits from the start of the current flag byte.
  in += static_cast<std::ptrdiff_t>((bits_end + n) >> 3) - 7;
  bits_end = 56 + ((bits_end + n) & 7U);
  // The unread bits, by two shifts rather than a mask from a table: the
  // next token's literal run waits on them, and a load would add its
  // latency to every token.
  bits = ((window << n) >> bits_end) << bits_end;
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

// The loop itself, compiled into each variant below.
template <loop_variant variant, bool settled>
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

  const std::uint8_t* in = s.in_next;
  std::uint64_t bits = bits_in_flag_register(s.flag_register);
  unsigned bits_end = k_window_bits - unread_in_flag_register(s.flag_register);
  if (bits_end == k_window_bits) {
    bits = std::uint64_t{*in++} << 56;
    bits_end = 56;
  }
  // (Distances are held in full registers: they are added to pointers.)
  std::size_t last_distance = s.last_distance;
  // 1 + (last_distance > k_long_distance): the count is L plus this.
  std::uint32_t count_extra = last_distance > k_long_distance ? 2U : 1U;
  // Whether the last distance was found far (at least a chunk back, and
  // within the output) by the last match that used it: the output only
  // grows, so a repeat of it is, without a check.
  bool repeat_far = false;
  fast_loop_exit result = fast_loop_exit::careful;
  // At least one, by the check on entry.
  std::size_t passes = passes_within_margins(in, in_end, out, out_end);

  do {
    if ((bits >> 63) != 0) [[likely]] {
      // A literal run: every 1 bit up to the end of the current flag byte
      // (~bits has a 1 below them, so the count stops there).
      const std::uint64_t run = leading_zeros_of<variant>(~bits);
      copy8(out, in);
      out += run;
      in += run;
      bits <<= run;
      bits_end += static_cast<unsigned>(run);
      // Unless the run used up the flag byte, a 0 bit, a match, follows.
      if (bits_end == k_window_bits) [[unlikely]] {
        bits = std::uint64_t{*in++} << 56;
        bits_end = 56;
        continue;
      }
    }

    // A match. Most heads are one lookup: the whole head for a repeated
    // distance, the distance code for a new one.
    std::uint64_t window = window_at(bits, bits_end, in);
    const std::uint32_t head =
        k_loop_tables.match_heads[window >> (k_window_bits - k_head_index_bits)];
    std::size_t distance = last_distance;
    std::uint32_t count = 0;
    if ((head & k_repeated) != 0) [[likely]] {
      use_to_token_end(in, bits, bits_end, window, head & 0xFFU);
      count = (head >> 16) + count_extra;
      // The same distance as the last match: when that was far, it still is.
      if (repeat_far) [[likely]] {
        copy_far_short_match(out, distance, count);
        out += count;
        continue;
      }
    } else {
      if (head != 0) [[likely]] {
        // A new distance of a short code (never above k_long_distance): its
        // low byte follows.
        use_before_byte(in, bits, bits_end, window, head & 0xFFU);
        distance = (head >> 16) + *in++;
        count_extra = 1;
        last_distance = distance;
      } else {
        // A longer distance code, or the repeated distance with a longer
        // length code: the code's length from where its first continue bit
        // of 1 is, its value gathered from the window.
        const std::uint64_t distance_code = window << 1;
        const std::uint64_t distance_stops = distance_code & k_distance_code_stops;
        // Too long for a window: the careful loop takes this match.
        if (distance_stops == 0) [[unlikely]]
          break;
        const unsigned distance_bits = leading_zeros(distance_stops) + 1;
        use_before_byte(in, bits, bits_end, window, 1 + distance_bits);
        if ((window >> 61) != 1) {  // not 0 01, the repeated distance
          distance = std::uint32_t{gamma_value<variant>(distance_code, distance_bits) * 256U +
                                   *in++ - 767U};
          if (distance == 0) [[unlikely]] {  // end marker
            result = fast_loop_exit::stopped;
            break;
          }
          count_extra = distance > k_long_distance ? 2U : 1U;
          last_distance = distance;
        }
      }

      // The length code: two bits, or two 0 bits and a gamma code.
      window = window_at(bits, bits_end, in);
      if (const std::uint32_t short_length = k_loop_tables.length_codes[window >> 56];
          short_length != 0) [[likely]] {
        use_to_token_end(in, bits, bits_end, window, short_length & 0xFFU);
        count = (short_length >> 8) + count_extra;
      } else {
        // A longer code (only for matches longer than 17).
        const std::uint64_t length_code = window << 2;
        const std::uint64_t length_stops = length_code & k_length_code_stops;
        if (length_stops != 0) {
          const unsigned length_bits = leading_zeros(length_stops) + 1;
          use_to_token_end(in, bits, bits_end, window, 2 + length_bits);
          count = gamma_value<variant>(length_code, length_bits) + 2 + count_extra;
          if (std::size_t{distance} - k_copy_chunk <=
                  static_cast<std::size_t>(out - out_chunk_on) &&
              count + k_copy_overrun <= static_cast<std::size_t>(out_end - out)) [[likely]] {
            copy_far_match(out, distance, count);
            out += count;
            repeat_far = true;
          } else {
            out = copy_match_within(out, out_begin, out_end, distance, count);
            repeat_far = false;
          }
          // The match used the input of a pass but more output: fewer passes
          // may follow (one more here, as the count goes down below).
          const std::size_t output_passes = passes_within_output(out, out_end) + 1;
          if (output_passes < passes) passes = output_passes;
          continue;
        }
        // Too long for a window (only in damaged or contrived streams): the
        // careful reader, which stops the block if the input ends within
        // the code. The loop ends after this match, as the code may have
        // taken the input to its end.
        use_before_byte(in, bits, bits_end, window, 2);
        block_state rest = s;
        rest.in_next = in;
        rest.flag_register = to_flag_register(bits, k_window_bits - bits_end);
        std::uint32_t w = 0;
        const bool complete = read_gamma(rest, w);
        in = rest.in_next;
        bits_end = k_window_bits - unread_in_flag_register(rest.flag_register);
        bits = bits_in_flag_register(rest.flag_register);
        if (!complete) {
          result = fast_loop_exit::stopped;
          break;
        }
        out = copy_match_within(out, out_begin, out_end, distance, w + 2 + count_extra);
        break;
      }
    }

    repeat_far = copy_short_match<settled>(out, out_chunk_on, distance, count);
    // (Every pass comes here, also those that `continue`.)
  } while ((settled || out < out_settled) &&
           (--passes != 0 || (passes = passes_within_margins(in, in_end, out, out_end)) != 0));

  // Back to the careful loop's way: a fresh flag byte taken ahead is
  // given back.
  if (bits_end == 56) {
    --in;
    bits_end = k_window_bits;
  }
  s.in_next = in;
  s.out_next = out;
  s.flag_register = to_flag_register(bits, k_window_bits - bits_end);
  s.last_distance = static_cast<std::uint32_t>(last_distance);
  // Only a length code read by the careful reader can bring the input to
  // its end; after a match that ends the block.
  if (s.in_next == s.in_end) result = fast_loop_exit::stopped;
  return result;
}

template <loop_variant variant>
MTHC_ALWAYS_INLINE fast_loop_exit fast_loop_any_output(block_state& s) noexcept {
  if (static_cast<std::size_t>(s.out_next - s.out_begin) >= k_settled_output)
    return fast_loop<variant, true>(s);
  return fast_loop<variant, false>(s);
}

// ---- The variants, and the choice among them ----

using fast_loop_function = fast_loop_exit (*)(block_state&) noexcept;

fast_loop_exit fast_loop_portable(block_state& s) noexcept {
  return fast_loop_any_output<loop_variant::portable>(s);
}

#if MTHC_X86_64_EXTENSIONS
// The loop for processors with the bit-manipulation extensions (BMI1, BMI2,
// LZCNT, MOVBE; x86-64 processors since about 2013): their shifts by a
// variable count, leading-zero counts and byte-swapping loads each take one
// instruction, which saves more than a tenth of the loop's instructions.
// PEXT gathers a long gamma code's data bits in one more; it is used where
// it is fast (see cpu_features).
__attribute__((target("bmi,bmi2,lzcnt,movbe"))) fast_loop_exit fast_loop_bit_manipulation(
    block_state& s) noexcept {
  return fast_loop_any_output<loop_variant::bit_manipulation>(s);
}

__attribute__((target("bmi,bmi2,lzcnt,movbe"))) fast_loop_exit fast_loop_bit_manipulation_pext(
    block_state& s) noexcept {
  return fast_loop_any_output<loop_variant::bit_manipulation_pext>(s);
}
#endif

fast_loop_function function_of(loop_variant variant) noexcept {
#if MTHC_X86_64_EXTENSIONS
  if (variant == loop_variant::bit_manipulation_pext) return fast_loop_bit_manipulation_pext;
  if (variant == loop_variant::bit_manipulation) return fast_loop_bit_manipulation;
#endif
  return fast_loop_portable;
}

loop_variant best_variant() noexcept {
  if (this_cpu().fast_pext) return loop_variant::bit_manipulation_pext;
  if (this_cpu().bit_manipulation) return loop_variant::bit_manipulation;
  return loop_variant::portable;
}

// The variant run_fast_loop calls: at first a function that asks the
// processor, stores the variant that suits it here, and runs it. Relaxed
// ordering is enough: every thread that asks stores the same function, and
// a thread that still sees the first one only asks again.
fast_loop_exit choose_and_run(block_state& s) noexcept;
constinit std::atomic<fast_loop_function> chosen_fast_loop{choose_and_run};

fast_loop_exit choose_and_run(block_state& s) noexcept {
  const fast_loop_function chosen = function_of(best_variant());
  chosen_fast_loop.store(chosen, std::memory_order_relaxed);
  return chosen(s);
}

}  // namespace

bool can_run(fast_loop_variant variant) noexcept {
  return variant == loop_variant::portable || this_cpu().bit_manipulation;
}

fast_loop_exit run_fast_loop_variant(block_state& s, fast_loop_variant variant) noexcept {
  return function_of(variant)(s);
}

fast_loop_exit run_fast_loop(block_state& s) noexcept {
  return chosen_fast_loop.load(std::memory_order_relaxed)(s);
}

}  // namespace mthc::detail
