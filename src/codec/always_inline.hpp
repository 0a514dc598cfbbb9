// Marks a part of the block decoder's fast loop that must be compiled into
// its caller: each variant of the loop (fast_loop_variants.cpp) gets its own
// copy, built for its instruction set, and no call stands on the path from
// one token to the next.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MTHC_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define MTHC_ALWAYS_INLINE inline
#endif
