// The container report and the payload preview.
#pragma once

#include <cstdint>
#include <mthc/container.hpp>
#include <span>

namespace mthc::cli {

// Six lines on standard output: file size, outer header bytes, MThp control
// bytes, payload offset and payload size.
void print_report(const container_header& header) noexcept;

// A hex dump of the first 96 payload bytes at most, 16 to a line, offsets
// counted within the payload, on standard output.
void print_payload_preview(std::span<const std::uint8_t> payload) noexcept;

}  // namespace mthc::cli
