// The checks a container passes before it is reported on: its size and its
// two fixed tags (the header view is in format/format.hpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace mthc {

enum class container_fault {
  none,
  too_small,         // fewer than 16 bytes
  not_mthc,          // bytes 0-3 are not "MThc"
  missing_mthp_tag,  // bytes 10-13 are not "MThp"
};

container_fault check_container(std::span<const std::uint8_t> image) noexcept;

// What the report shows of a container that passed check_container.
struct container_header {
  std::size_t file_size = 0;
  std::array<std::uint8_t, 6> outer_header{};  // bytes 4-9
  std::array<std::uint8_t, 2> control{};       // bytes 14-15
  std::size_t payload_offset = 0;
  std::size_t payload_size = 0;  // everything from the payload offset on
};

container_header read_container_header(std::span<const std::uint8_t> image) noexcept;

// The payload: every byte from offset 16.
std::span<const std::uint8_t> container_payload(std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
