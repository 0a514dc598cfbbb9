#include "container/report.hpp"

#include <algorithm>
#include <cstdio>

#include "container/validate_container.hpp"

namespace mthc {

namespace {

constexpr std::size_t k_preview_limit = 96;
constexpr std::size_t k_preview_line = 16;

}  // namespace

void print_report(std::span<const std::uint8_t> image) noexcept {
  const auto* b = image.data();
  std::printf("MThc container\n");
  std::printf("  file size      : %lu bytes\n", static_cast<unsigned long>(image.size()));
  std::printf("  outer header   : %02x %02x %02x %02x %02x %02x\n", b[4], b[5], b[6], b[7], b[8],
              b[9]);
  std::printf("  MThp control   : %02x %02x\n", b[14], b[15]);
  std::printf("  payload offset : %lu\n", static_cast<unsigned long>(k_container_header_size));
  std::printf("  payload size   : %lu bytes\n",
              static_cast<unsigned long>(image.size() - k_container_header_size));
}

void print_payload_preview(std::span<const std::uint8_t> image) noexcept {
  const auto payload = image.subspan(k_container_header_size);
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

}  // namespace mthc
