#include "codec/byte_buffer.hpp"

#include <cassert>
#include <cstring>
#include <new>

namespace mthc {

bool set_capacity(byte_buffer& buffer, std::size_t new_capacity) noexcept {
  assert(new_capacity >= buffer.length);
  // Default-initialised: the new storage is not zeroed, only the used bytes are copied.
  std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[new_capacity]);
  if (!grown && new_capacity != 0) return false;
  if (buffer.length != 0) std::memcpy(grown.get(), buffer.data.get(), buffer.length);
  buffer.data = std::move(grown);
  buffer.capacity = new_capacity;
  return true;
}

}  // namespace mthc

namespace mthc::codec {

void append_unchecked(byte_buffer& buffer, std::span<const std::uint8_t> bytes) noexcept {
  assert(buffer.capacity - buffer.length >= bytes.size());
  if (bytes.empty()) return;
  std::memcpy(buffer.data.get() + buffer.length, bytes.data(), bytes.size());
  buffer.length += bytes.size();
}

}  // namespace mthc::codec
