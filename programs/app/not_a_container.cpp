#include "app/not_a_container.hpp"

#include <algorithm>
#include <cstring>
#include <mthc/container.hpp>
#include <mthc/messages.hpp>

namespace mthc::app {

std::string not_a_container_text(std::span<const std::uint8_t> head) {
  static constexpr std::uint8_t k_tag[] = {'M', 'T', 'h', 'c'};
  const std::size_t n = std::min(head.size(), sizeof k_tag);
  if (n == 0 || std::memcmp(head.data(), k_tag, n) == 0) return {};
  return error_text(container_fault::not_mthc);
}

}  // namespace mthc::app
