#include "container/check_container.hpp"

#include <algorithm>
#include <cassert>

#include "format/format.hpp"

namespace mthc {

using namespace format;

container_fault check_container(std::span<const std::uint8_t> image) noexcept {
  if (image.size() < k_payload_offset) return container_fault::too_small;
  if (!has_tag(image, 0, k_container_tag)) return container_fault::not_mthc;
  if (!has_tag(image, k_stream_tag_offset, k_stream_tag)) return container_fault::missing_mthp_tag;
  return container_fault::none;
}

container_header read_container_header(std::span<const std::uint8_t> image) noexcept {
  assert(image.size() >= k_payload_offset);
  container_header header;
  header.file_size = image.size();
  std::copy_n(image.begin() + k_outer_header_offset, k_outer_header_size,
              header.outer_header.begin());
  std::copy_n(image.begin() + k_control_offset, k_control_size, header.control.begin());
  header.payload_offset = k_payload_offset;
  header.payload_size = image.size() - k_payload_offset;
  return header;
}

std::span<const std::uint8_t> container_payload(std::span<const std::uint8_t> image) noexcept {
  assert(image.size() >= k_payload_offset);
  return image.subspan(k_payload_offset);
}

}  // namespace mthc
