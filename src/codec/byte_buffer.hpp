// Growing a byte_buffer.
//
// The decoded stream, the track buffers and the MIDI image all follow growth
// rules of their own (doubling, "n + 2 x capacity", ...), and the room the
// block decoder may fill is the buffer's whole free capacity, so the capacity
// has to be exactly what those rules say, never what a container library
// chooses. Storage is left uninitialised: pages that are never written are
// never touched, which keeps the peak memory of a large conversion low.
#pragma once

#include <cstddef>
#include <mthc/byte_buffer.hpp>
#include <span>

namespace mthc::codec {

// Appends `bytes`; the caller has made room for them beforehand.
void append_unchecked(byte_buffer& buffer, std::span<const std::uint8_t> bytes) noexcept;

}  // namespace mthc::codec
