#include "container/validate_container.hpp"

#include <cstdio>
#include <cstring>

namespace mthc {

container_fault check_container(std::span<const std::uint8_t> image) noexcept {
  if (image.size() < k_container_header_size) return container_fault::too_small;
  if (std::memcmp(image.data(), "MThc", 4) != 0) return container_fault::not_mthc;
  if (std::memcmp(image.data() + 10, "MThp", 4) != 0) return container_fault::missing_mthp_tag;
  return container_fault::none;
}

void print_container_fault(container_fault fault) noexcept {
  switch (fault) {
    case container_fault::none:
      break;
    case container_fault::too_small:
      std::fprintf(stderr, "Error: file is too small to be an MThc container\n");
      break;
    case container_fault::not_mthc:
      std::fprintf(stderr, "Error: file does not start with MThc\n");
      break;
    case container_fault::missing_mthp_tag:
      std::fprintf(stderr, "Error: expected MThp tag at offset 10\n");
      break;
  }
}

}  // namespace mthc
