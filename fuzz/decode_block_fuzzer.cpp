// Fuzz target for decode_block.
//
// Input: two bytes choosing the room (big-endian, 0 to 65535), then the packed
// bytes, which end exactly where the fuzzer's buffer ends so that reading one
// byte too far is an AddressSanitizer report.
//
// Checks, on every input:
// - the result never exceeds the room;
// - an output area of exactly the room is never written beyond (heap-exact
//   under AddressSanitizer, and a canary after the room everywhere);
// - decoding is deterministic and never reads output it has not written: the
//   same input decoded into areas pre-filled with different bytes gives the
//   same result and the same bytes;
// - the result and bytes agree with the plain reference decoder of the tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mthc/decode_block.hpp>
#include <span>
#include <vector>

#include "fuzz_check.hpp"
#include "reference_decoder.hpp"

namespace {

constexpr std::size_t k_room_prefix = 2;
constexpr std::size_t k_canary_size = 64;
constexpr std::uint8_t k_canary = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < k_room_prefix) return 0;
  const std::size_t room = static_cast<std::size_t>(data[0]) << 8 | data[1];
  const std::span<const std::uint8_t> packed(data + k_room_prefix, size - k_room_prefix);

  // Exactly the room, so a write one past it hits the allocator's redzone.
  const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[room == 0 ? 1 : room]);
  std::memset(exact.get(), 0x00, room == 0 ? 1 : room);
  const std::size_t first = mthc::decode_block(packed, std::span(exact.get(), room));
  MTHC_FUZZ_CHECK(first <= room);

  std::vector<std::uint8_t> guarded(room + k_canary_size, k_canary);
  std::fill_n(guarded.begin(), room, std::uint8_t{0xFF});
  const std::size_t second = mthc::decode_block(packed, std::span(guarded.data(), room));
  MTHC_FUZZ_CHECK(second == first);
  MTHC_FUZZ_CHECK(std::equal(exact.get(), exact.get() + first, guarded.begin()));
  MTHC_FUZZ_CHECK(std::all_of(guarded.begin() + static_cast<std::ptrdiff_t>(room), guarded.end(),
                              [](std::uint8_t b) { return b == k_canary; }));

  std::vector<std::uint8_t> expected(room);
  const std::size_t reference =
      mthc::test::reference_decode_block(packed, std::span(expected.data(), room));
  MTHC_FUZZ_CHECK(reference == first);
  MTHC_FUZZ_CHECK(std::equal(expected.begin(),
                             expected.begin() + static_cast<std::ptrdiff_t>(first), exact.get()));
  return 0;
}
