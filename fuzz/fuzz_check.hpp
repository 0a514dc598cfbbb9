// Always-on checks for the fuzz targets. assert() vanishes under NDEBUG, and a
// fuzz target whose checks can vanish proves nothing, so a failed check prints
// what broke and traps: libFuzzer reports it as a crash with the input saved,
// and the replay driver dies with a signal that CTest counts as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

#define MTHC_FUZZ_CHECK(condition)                                                       \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::fflush(stderr);                                                               \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
