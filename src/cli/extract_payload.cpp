#include "cli/extract_payload.hpp"

#include <cstdio>
#include <mthc/container.hpp>

#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

namespace mthc {

int extract_payload(std::span<const std::uint8_t> image, const char* path,
                    const output_rules& rules) noexcept {
  if (write_output_file(path, container_payload(image), rules) != 0) return 1;
  std::printf("Extracted payload to %s\n", printable_name(path).c_str());
  return 0;
}

}  // namespace mthc
