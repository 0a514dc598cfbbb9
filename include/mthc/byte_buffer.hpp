// A heap byte buffer with an explicit capacity: how the library hands over
// its results (MIDI files). The caller owns it; it frees itself.
//
//   mthc::byte_buffer midi = std::move(mthc::convert_to_midi(image).midi_file);
//   save(midi.used());  // a span of the bytes in use
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mthc/export.hpp>
#include <span>

namespace mthc {

struct byte_buffer {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t length = 0;    // bytes in use
  std::size_t capacity = 0;  // bytes allocated

  std::span<std::uint8_t> used() noexcept { return {data.get(), length}; }
  std::span<const std::uint8_t> used() const noexcept { return {data.get(), length}; }
};

// Sets the capacity to exactly `new_capacity` (which must not be below
// `length`), keeping the bytes in use; the new storage is not zeroed. On
// allocation failure the buffer is left as it was and false is returned.
MTHC_API bool set_capacity(byte_buffer& buffer, std::size_t new_capacity) noexcept;

}  // namespace mthc
