#include <algorithm>
#include <mthc/container.hpp>

#include "format/format.hpp"

namespace mthc {

using namespace format;

container_fault check_container(std::span<const std::uint8_t> image) noexcept {
  if (image.size() < k_payload_offset) return container_fault::too_small;
  if (!has_tag(image, 0, k_container_tag)) return container_fault::not_mthc;
  if (!has_tag(image, k_stream_tag_offset, k_stream_tag)) return container_fault::missing_mthp_tag;
  return container_fault::none;
}

bool has_container_tag(std::span<const std::uint8_t> bytes) noexcept {
  return has_tag(bytes, 0, k_container_tag);
}

container_header read_container_header(std::span<const std::uint8_t> image) noexcept {
  container_header header;
  header.file_size = image.size();
  if (image.size() < k_payload_offset) return header;
  std::copy_n(image.begin() + k_outer_header_offset, k_outer_header_size,
              header.outer_header.begin());
  std::copy_n(image.begin() + k_control_offset, k_control_size, header.control.begin());
  header.payload_offset = k_payload_offset;
  header.payload_size = image.size() - k_payload_offset;
  return header;
}

std::span<const std::uint8_t> container_payload(std::span<const std::uint8_t> image) noexcept {
  if (image.size() < k_payload_offset) return {};
  return image.subspan(k_payload_offset);
}

}  // namespace mthc
