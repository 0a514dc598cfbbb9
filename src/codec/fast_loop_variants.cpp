// The variants of the block decoder's fast loop (fast_loop_template.hpp)
// for the processors it may run on, and the choice among them at run time.
#include <atomic>

#include "codec/cpu_features.hpp"
#include "codec/decode_block_internal.hpp"
#include "codec/fast_loop_template.hpp"

namespace mthc::codec {

namespace {

// The loop is compiled twice from the same source: for any processor of the
// architecture, and for those with the bit-manipulation extensions (BMI1,
// BMI2, LZCNT, MOVBE; x86-64 processors since about 2013), whose shifts by
// a variable count, leading-zero counts and byte-swapping loads each take
// one instruction. That is worth 4 to 9% in wall time on MIDI-like and
// incompressible data, and nothing on long repeats, which are bound by their
// copies: on an AMD EPYC (Zen 5), 31 interleaved repetitions of
// scripts/bench/decode_variants.sh gave 1.04 to 1.05 times the portable loop's
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

}  // namespace mthc::codec
