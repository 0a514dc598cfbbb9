// The music summary when memory runs out: with each of its allocations (the
// tracks, a long name, the growing list of tempo changes) failing in turn, it
// reports out_of_memory and holds no tracks, or, where the allocation was one
// it can do without, gives the full summary; it never leaks.
#include <gtest/gtest.h>

#include <mthc/summarize_music.hpp>

#include "container_builder.hpp"
#include "failing_allocator.hpp"
#include "generated_data.hpp"

namespace mthc {
namespace {

TEST(SummaryAllocationFailure, EveryAllocation) {
  auto tracks = test::midi_song(5, 3, 4);
  test::bytes tempos = {0x00, 0xFF, 0x03, 40};
  tempos.resize(tempos.size() + 40, 'n');  // a name too long to be kept inside the string
  for (int i = 0; i < 40; ++i)
    test::append(tempos,
                 test::bytes{0x60, 0xFF, 0x51, 0x03, 0x07, 0xA1, static_cast<std::uint8_t>(i)});
  test::append(tempos, test::bytes{0x00, 0xFF, 0x2F, 0x00});
  tracks.push_back(tempos);
  const std::vector<std::span<const std::uint8_t>> views(tracks.begin(), tracks.end());

  test::arm_allocation_failure(0);
  const music_summary whole = summarize_music(1, 96, views);
  const std::size_t allocations = test::disarm_allocation_failure();
  ASSERT_EQ(whole.error, summary_error::none);
  ASSERT_GE(allocations, 3U);
  for (std::size_t fail_at = 1; fail_at <= allocations; ++fail_at) {
    SCOPED_TRACE(fail_at);
    const std::size_t live = test::live_allocations();
    {
      test::arm_allocation_failure(fail_at);
      const music_summary s = summarize_music(1, 96, views);
      ASSERT_TRUE(test::allocation_failure_injected());
      test::disarm_allocation_failure();
      if (s.error == summary_error::none) {
        // An allocation that may fail: the sort's scratch space.
        EXPECT_EQ(s.tracks.size(), whole.tracks.size());
        EXPECT_EQ(s.tracks.back().name, whole.tracks.back().name);
        EXPECT_EQ(s.duration_seconds, whole.duration_seconds);
      } else {
        EXPECT_EQ(s.error, summary_error::out_of_memory);
        EXPECT_TRUE(s.tracks.empty());
      }
    }
    EXPECT_EQ(test::live_allocations(), live);
  }
}

}  // namespace
}  // namespace mthc
