// A container's fixed header: its two tags, and what a report shows of it.
//
//   if (mthc::check_container(image) == mthc::container_fault::none) {
//     const mthc::container_header h = mthc::read_container_header(image);
//     show(h.file_size, h.outer_header, h.control, h.payload_size);
//   }
//
// The tags are all that is checked here; unpack.hpp checks the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mthc/export.hpp>
#include <span>

namespace mthc {

enum class container_fault {
  none,
  too_small,         // fewer than 16 bytes
  not_mthc,          // bytes 0-3 are not "MThc"
  missing_mthp_tag,  // bytes 10-13 are not "MThp"
};

MTHC_API container_fault check_container(std::span<const std::uint8_t> image) noexcept;

// Whether `bytes` begin with "MThc": the files that the tools take for
// containers (and check), where any other is taken for a MIDI file.
MTHC_API bool has_container_tag(std::span<const std::uint8_t> bytes) noexcept;

// What the report shows of a container.
struct container_header {
  std::size_t file_size = 0;
  std::array<std::uint8_t, 6> outer_header{};  // bytes 4-9
  std::array<std::uint8_t, 2> control{};       // bytes 14-15
  std::size_t payload_offset = 0;
  std::size_t payload_size = 0;  // everything from the payload offset on
};

// The header of an image that passes check_container; for a shorter image
// only file_size is set.
MTHC_API container_header read_container_header(std::span<const std::uint8_t> image) noexcept;

// The payload: every byte from offset 16 (none of a shorter image).
MTHC_API std::span<const std::uint8_t> container_payload(
    std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
