#include "codec/cpu_features.hpp"

#if MTHC_X86_64_EXTENSIONS
#include <cpuid.h>
#endif

namespace mthc::codec {

namespace {

#if MTHC_X86_64_EXTENSIONS
struct cpuid_leaf {
  unsigned a = 0;
  unsigned b = 0;
  unsigned c = 0;
  unsigned d = 0;
  bool present = false;
};

cpuid_leaf cpuid(unsigned leaf, unsigned subleaf = 0) noexcept {
  cpuid_leaf r;
  r.present = __get_cpuid_count(leaf, subleaf, &r.a, &r.b, &r.c, &r.d) != 0;
  return r;
}

bool bit(unsigned reg, unsigned n) noexcept {
  return ((reg >> n) & 1U) != 0;
}

// Leaf 1 ECX bit 22: MOVBE; leaf 7 EBX bits 3 and 8: BMI1 and BMI2; leaf
// 0x80000001 ECX bit 5: LZCNT.
bool has_bit_manipulation() noexcept {
  const cpuid_leaf basic = cpuid(1);
  const cpuid_leaf extended_features = cpuid(7);
  const cpuid_leaf amd_features = cpuid(0x80000001);
  return basic.present && bit(basic.c, 22) && extended_features.present &&
         bit(extended_features.b, 3) && bit(extended_features.b, 8) && amd_features.present &&
         bit(amd_features.c, 5);
}
#endif

cpu_features detect() noexcept {
  cpu_features f;
#if MTHC_X86_64_EXTENSIONS
  f.bit_manipulation = has_bit_manipulation();
#endif
  return f;
}

}  // namespace

const cpu_features& this_cpu() noexcept {
  static const cpu_features features = detect();
  return features;
}

}  // namespace mthc::codec
