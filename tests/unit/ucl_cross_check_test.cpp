// The decoder against streams made by an independent compressor of the same
// bit format, over generated data of many kinds and sizes.
#include <gtest/gtest.h>
#include <ucl/ucl.h>

#include <functional>
#include <mthc/decode_block.hpp>

#include "generated_data.hpp"

namespace mthc {
namespace {

std::vector<std::uint8_t> reference_compress(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> packed(data.size() + data.size() / 8 + 256);
  ucl_uint packed_size = static_cast<ucl_uint>(packed.size());
  const int r = ucl_nrv2b_99_compress(data.data(), static_cast<ucl_uint>(data.size()),
                                      packed.data(), &packed_size, nullptr, 10, nullptr, nullptr);
  EXPECT_EQ(r, UCL_E_OK);
  packed.resize(packed_size);
  return packed;
}

TEST(UclCrossCheck, DecodesReferenceStreams) {
  ASSERT_EQ(ucl_init(), UCL_E_OK);
  struct data_set {
    const char* name;
    std::function<std::vector<std::uint8_t>(std::uint64_t, std::size_t)> make;
  };
  const data_set sets[] = {
      {"midi", test::midi_like_bytes},
      {"repetitive", test::repetitive_bytes},
      {"random", test::random_bytes},
  };
  const std::size_t sizes[] = {0, 1, 2, 3, 7, 8, 9, 100, 1000, 3329, 4096, 20000, 65535};
  for (const data_set& set : sets) {
    for (const std::size_t size : sizes) {
      SCOPED_TRACE(testing::Message() << set.name << " " << size);
      const auto data = set.make(size + 1, size);
      const auto packed = reference_compress(data);
      // The room is larger than the data: the stream must end by itself.
      std::vector<std::uint8_t> out(size + 1000);
      const std::size_t n = decode_block(packed, out);
      ASSERT_EQ(n, size);
      EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    }
  }
}

}  // namespace
}  // namespace mthc
