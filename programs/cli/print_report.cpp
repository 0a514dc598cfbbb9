#include "cli/print_report.hpp"

#include <algorithm>
#include <cstdio>

namespace mthc::cli {

namespace {

constexpr std::size_t k_preview_limit = 96;
constexpr std::size_t k_preview_line = 16;

}  // namespace

void print_report(const container_header& header) noexcept {
  const auto& outer = header.outer_header;
  std::printf("MThc container\n");
  std::printf("  file size      : %lu bytes\n", static_cast<unsigned long>(header.file_size));
  std::printf("  outer header   : %02x %02x %02x %02x %02x %02x\n", outer[0], outer[1], outer[2],
              outer[3], outer[4], outer[5]);
  std::printf("  MThp control   : %02x %02x\n", header.control[0], header.control[1]);
  std::printf("  payload offset : %lu\n", static_cast<unsigned long>(header.payload_offset));
  std::printf("  payload size   : %lu bytes\n", static_cast<unsigned long>(header.payload_size));
}

void print_payload_preview(std::span<const std::uint8_t> payload) noexcept {
  const std::size_t n = std::min(payload.size(), k_preview_limit);
  std::printf("  payload preview\n");
  for (std::size_t line = 0; line < n; line += k_preview_line) {
    std::printf("%04lx:", static_cast<unsigned long>(line));
    for (std::size_t i = line; i < std::min(line + k_preview_line, n); ++i) {
      std::printf(" %02x", payload[i]);
    }
    std::printf("\n");
  }
}

}  // namespace mthc::cli
