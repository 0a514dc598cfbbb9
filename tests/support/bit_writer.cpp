#include "bit_writer.hpp"

#include <bit>
#include <cassert>

namespace mthc::test {

void bit_writer::flag(unsigned bit) {
  if (flag_bits_left == 0) {
    flag_position = bytes.size();
    bytes.push_back(0);
    flag_bits_left = 8;
  }
  --flag_bits_left;
  if (bit != 0) bytes[flag_position] |= static_cast<std::uint8_t>(1U << flag_bits_left);
}

void bit_writer::gamma(std::uint32_t value) {
  assert(value >= 2);
  const int top = 31 - std::countl_zero(value);
  for (int i = top - 1; i >= 0; --i) {
    flag((value >> i) & 1U);
    flag(i == 0 ? 1U : 0U);
  }
}

void bit_writer::literal(std::uint8_t value) {
  flag(1);
  byte(value);
}

void bit_writer::literals(std::span<const std::uint8_t> values) {
  for (const std::uint8_t value : values)
    literal(value);
}

void bit_writer::match(std::uint32_t distance, std::uint32_t count) {
  flag(0);
  if (distance == last_distance) {
    gamma(2);
  } else {
    gamma(((distance - 1) >> 8) + 3);
    byte(static_cast<std::uint8_t>((distance - 1) & 0xFF));
    last_distance = distance;
  }
  const std::uint32_t length = count - (distance > 0xD00 ? 2U : 1U);
  assert(length >= 1);
  if (length <= 3) {
    flag(length >> 1);
    flag(length & 1U);
  } else {
    flag(0);
    flag(0);
    gamma(length - 2);
  }
}

void bit_writer::end_marker() {
  flag(0);
  gamma((1U << 24) + 2);
  byte(0xFF);
}

std::vector<std::uint8_t> literal_block(std::span<const std::uint8_t> data) {
  bit_writer writer;
  writer.literals(data);
  // Unused flag bits stay 0: they start a match whose gamma code runs out of
  // flag bits, and the decoder stops there without producing anything.
  return writer.bytes;
}

}  // namespace mthc::test
