#include "codec/cpu_features.hpp"

#if MTHC_X86_64_EXTENSIONS
#include <cpuid.h>
#endif

namespace mthc::detail {

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

bool has_fast_pext() noexcept {
  const cpuid_leaf vendor = cpuid(0);
  if (!vendor.present) return false;
  // The vendor string is EBX, EDX, ECX: "Auth" "enti" "cAMD", "Hygo" "nGen" "uine".
  const bool amd_design =
      (vendor.b == 0x68747541 && vendor.d == 0x69746E65 && vendor.c == 0x444D4163) ||
      (vendor.b == 0x6F677948 && vendor.d == 0x6E65476E && vendor.c == 0x656E6975);
  if (!amd_design) return true;
  const cpuid_leaf basic = cpuid(1);
  if (!basic.present) return false;
  // The family: the base family (bits 8 to 11), plus the extended family
  // (bits 20 to 27) when the base is 0xF.
  unsigned family = (basic.a >> 8) & 0xF;
  if (family == 0xF) family += (basic.a >> 20) & 0xFF;
  return family >= 0x19;
}
#endif

cpu_features detect() noexcept {
  cpu_features f;
#if MTHC_X86_64_EXTENSIONS
  f.bit_manipulation = has_bit_manipulation();
  f.fast_pext = f.bit_manipulation && has_fast_pext();
#endif
  return f;
}

}  // namespace

const cpu_features& this_cpu() noexcept {
  static const cpu_features features = detect();
  return features;
}

}  // namespace mthc::detail
