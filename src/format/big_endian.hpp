// Big-endian numbers, as the container, the decoded stream and MIDI files
// store them; and the little-endian sizes of a RIFF wrapper around a MIDI
// file.
#pragma once

#include <cstdint>
#include <vector>

namespace mthc::format {

inline std::uint16_t read_be16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

inline std::uint32_t read_be32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

inline std::uint32_t read_le32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

inline void write_be16(std::uint8_t* p, std::uint16_t value) noexcept {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

inline void write_be32(std::uint8_t* p, std::uint32_t value) noexcept {
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

// The low 16 bits of `value`. Throws std::bad_alloc.
inline void append_be16(std::vector<std::uint8_t>& to, std::uint32_t value) {
  to.push_back(static_cast<std::uint8_t>(value >> 8));
  to.push_back(static_cast<std::uint8_t>(value));
}

// Throws std::bad_alloc.
inline void append_be32(std::vector<std::uint8_t>& to, std::uint32_t value) {
  append_be16(to, value >> 16);
  append_be16(to, value);
}

}  // namespace mthc::format
