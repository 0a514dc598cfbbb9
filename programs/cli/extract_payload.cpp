#include "cli/extract_payload.hpp"

#include <cstdio>
#include <mthc/container.hpp>

#include "cli/shown_name.hpp"
#include "cli/write_output_file.hpp"

namespace mthc::cli {

failure extract_payload(std::span<const std::uint8_t> image, const char* path,
                        const output_rules& rules) noexcept {
  const failure failed = write_output_file(path, container_payload(image), rules);
  if (failed.failed()) return failed;
  std::printf("Extracted payload to %s\n", printable_name(path).c_str());
  return {};
}

}  // namespace mthc::cli
