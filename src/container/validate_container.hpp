// Container header view:
//   0   4  "MThc"
//   4   6  outer header bytes (the block count and the first block header)
//   10  4  "MThp" (the first bytes of the first block when it is stored)
//   14  2  MThp control bytes
//   16  .. payload
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mthc {

inline constexpr std::size_t k_container_header_size = 16;

enum class container_fault {
  none,
  too_small,         // fewer than 16 bytes
  not_mthc,          // bytes 0-3 are not "MThc"
  missing_mthp_tag,  // bytes 10-13 are not "MThp"
};

container_fault check_container(std::span<const std::uint8_t> image) noexcept;

// Prints the error line of a fault (none prints nothing).
void print_container_fault(container_fault fault) noexcept;

}  // namespace mthc
