#include "codec/write_block.hpp"

#include <cassert>

#include "codec/block_code.hpp"
#include "codec/parse_checks.hpp"

namespace mthc::codec {

namespace {

// Flag bytes share the byte sequence with literals and distance bytes. The
// decoder fetches a flag byte when it needs the first of its bits, so its slot
// is reserved right there, before any byte that follows that bit.
struct bit_sink {
  std::vector<std::uint8_t>& bytes;
  std::size_t flag_position = 0;
  unsigned flag_bits_left = 0;

  void flag(std::uint32_t bit) {
    if (flag_bits_left == 0) {
      flag_position = bytes.size();
      bytes.push_back(0);
      flag_bits_left = 8;
    }
    --flag_bits_left;
    bytes[flag_position] =
        static_cast<std::uint8_t>(bytes[flag_position] | (bit << flag_bits_left));
  }

  void gamma(std::uint32_t value) {
    assert(value >= 2);
    for (int i = static_cast<int>(std::bit_width(value)) - 2; i >= 0; --i) {
      flag((value >> i) & 1U);
      flag(i == 0 ? 1U : 0U);
    }
  }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> write_block(std::span<const std::uint8_t> data,
                                                     const lz_parse& parse) {
  if (!parse_covers(data, parse)) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(data.size() + data.size() / 8 + 8);
  bit_sink sink{bytes};
  std::uint32_t last_distance = 1;
  std::size_t position = 0;
  // Whether the last two steps were matches, and the packed size after the
  // one before the last.
  bool last_was_match = false;
  bool previous_was_match = false;
  std::size_t size_after_previous = 0;
  std::size_t size_after_last = 0;

  for (const lz_step& step : parse) {
    if (step.distance == 0) {
      for (std::uint32_t i = 0; i < step.count; ++i) {
        sink.flag(1);
        bytes.push_back(data[position + i]);
      }
    } else {
      sink.flag(0);
      if (step.distance == last_distance) {
        sink.gamma(k_repeat_code);
      } else {
        sink.gamma(distance_gamma(step.distance));
        bytes.push_back(static_cast<std::uint8_t>((step.distance - 1) & 0xFF));
        last_distance = step.distance;
      }
      const std::uint32_t code = length_code(step.distance, step.count);
      if (code <= 3) {
        sink.flag(code >> 1);
        sink.flag(code & 1U);
      } else {
        sink.flag(0);
        sink.flag(0);
        sink.gamma(code - 2);
      }
    }
    position += step.count;
    previous_was_match = last_was_match;
    size_after_previous = size_after_last;
    last_was_match = step.distance != 0;
    size_after_last = bytes.size();
  }

  // The decoder stops after a match once the packed bytes are used up. If the
  // final match lives entirely in the last flag byte, the match before it
  // already used them up, and one more byte keeps the decoder going; the zero
  // flag bits it then reads begin a code that never completes.
  if (last_was_match && previous_was_match && size_after_previous == bytes.size()) {
    bytes.push_back(0);
  }
  return bytes;
}

}  // namespace mthc::codec
