// Telling whether two paths name the same file, so that an input is never
// made an output (another spelling, a link, or a case-insensitive name).
#pragma once

#include <cstdint>
#include <optional>

namespace mthc {

struct file_identity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const file_identity&) const = default;
};

// The identity of the existing file at `path`; none when there is none.
std::optional<file_identity> identity_of(const char* path) noexcept;

}  // namespace mthc
