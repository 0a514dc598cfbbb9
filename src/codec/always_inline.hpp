// Marks a function that must be compiled into its caller. In the block
// decoder's fast loop: each variant of the loop (fast_loop_variants.cpp) gets
// its own copy, built for its instruction set, and no call stands on the path
// from one token to the next. In the best level's parse: the loop that offers
// a match's lengths, called a few times per position with many arguments.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MTHC_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define MTHC_ALWAYS_INLINE inline
#endif
