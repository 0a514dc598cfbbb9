// What the processor the program runs on offers the block decoder's fast
// loop, which is compiled in variants for some instruction-set extensions
// and picks one at run time.
#pragma once

// The extension variants are x86-64 code written with GCC's and Clang's
// extensions (target attributes, inline assembly, <cpuid.h>); elsewhere only
// the portable loop is built and no extension is reported.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define MTHC_X86_64_EXTENSIONS 1
#else
#define MTHC_X86_64_EXTENSIONS 0
#endif

namespace mthc::codec {

struct cpu_features {
  // BMI1, BMI2, LZCNT and MOVBE, which x86-64 processors have had since
  // about 2013: shifts by a variable count, leading-zero counts and
  // byte-swapping loads in one instruction each.
  bool bit_manipulation = false;
};

// The features of this processor, asked of it once per process.
const cpu_features& this_cpu() noexcept;

}  // namespace mthc::codec
