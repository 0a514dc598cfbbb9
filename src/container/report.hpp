// The container report and the payload preview, on standard output.
#pragma once

#include <cstdint>
#include <span>

namespace mthc {

// Six lines: file size, outer header bytes, MThp control bytes, payload
// offset and payload size. `image` has passed check_container().
void print_report(std::span<const std::uint8_t> image) noexcept;

// A hex dump of the first 96 payload bytes at most, 16 to a line, offsets
// counted within the payload.
void print_payload_preview(std::span<const std::uint8_t> image) noexcept;

}  // namespace mthc
