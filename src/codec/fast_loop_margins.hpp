// How far from the ends of the input and of the room the fast loop must
// be to run a pass without a bound check: the margins, derived from the
// worst cases of a pass, and the count of passes they allow. A part of the
// fast loop (fast_loop_template.hpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "codec/fast_loop_copies.hpp"
#include "codec/fast_loop_cursor.hpp"

namespace mthc::codec {

// Internal linkage: these parts are compiled into each variant of the loop
// in fast_loop_variants.cpp, the one file that includes them.
namespace {  // NOLINT(cert-dcl59-cpp): one translation unit's parts, as above

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

// A pass starts only with room for a literal run's word and, after it, a
// match of a short length code (its count checked against the tables in
// fast_loop_codes.hpp)
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

}  // namespace

}  // namespace mthc::codec
