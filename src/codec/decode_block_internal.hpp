// Internals of the block decoder, shared by its two loops and its tests.
//
// decode_block runs two loops over one working state. The fast loop takes
// the bulk of a block, as long as the input and the output are far enough
// from their ends that a whole literal run or match fits without a bound
// check per byte; the careful loop takes one token at a time, checking every
// read, and handles the ends of the input and of the room and every code the
// fast loop declines. Both follow the same rules and leave the state at a
// token boundary, so either can continue where the other stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "format/format.hpp"

namespace mthc::codec {

using format::k_long_distance;

// The whole working state of one block.
struct block_state {
  const std::uint8_t* in_next;
  const std::uint8_t* in_end;
  std::uint8_t* out_begin;
  std::uint8_t* out_next;
  std::uint8_t* out_end;
  // The current flag byte shifted left once per bit read, with a sentinel 1
  // below its remaining bits: when only the sentinel is left (low seven bits
  // clear), the next read loads a fresh flag byte. Only the low nine bits
  // matter.
  std::uint32_t flag_register = 0;
  std::uint32_t last_distance = 1;
};

// Decodes one token (a literal or a match) with a bound check on every read
// and write. Returns false when the block stops.
bool careful_step(block_state& s) noexcept;

// Reads one gamma code a flag bit at a time, checking for the end of the
// input at every flag byte. Returns false (the block stops) when the input
// ends within the code.
bool read_gamma(block_state& s, std::uint32_t& value) noexcept;

enum class fast_loop_exit {
  // At a token boundary that the careful loop must take (too near an end,
  // or a code the fast loop does not decode); nothing of it was consumed.
  careful,
  // The block is complete: the end marker was read, or a match used up the
  // input, or the input ended within a code.
  stopped,
};

// Decodes tokens while the input and the room leave enough margin, with the
// variant of the loop that suits the processor.
fast_loop_exit run_fast_loop(block_state& s) noexcept;

// The variants of the fast loop, compiled from the same source and with the
// same results: for any processor of the architecture, and with the
// bit-manipulation extensions (x86-64: BMI1, BMI2, LZCNT, MOVBE).
// run_fast_loop picks the second where the processor has them; the tests
// and the benchmarks run each.
enum class fast_loop_variant { portable, bit_manipulation };

// Whether this processor can run `variant`.
bool can_run(fast_loop_variant variant) noexcept;

// Runs `variant`, which this processor must be able to run.
fast_loop_exit run_fast_loop_variant(block_state& s, fast_loop_variant variant) noexcept;

// decode_block with `variant` of the fast loop, which this processor must be
// able to run (decode_block runs the one that suits the processor).
std::size_t decode_block_with(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out,
                              fast_loop_variant variant) noexcept;

}  // namespace mthc::codec
