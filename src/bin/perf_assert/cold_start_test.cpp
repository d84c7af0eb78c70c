#include "cold_start.hpp"

#include <array>

#include <gtest/gtest.h>

namespace murv::perf_assert {
namespace {

using namespace std::chrono_literals;

TEST(Median, IsTheSixthSmallestWhateverTheOrder) {
    const std::array<std::uint64_t, 10> samples{70, 10, 100, 40, 20, 90, 60, 30, 80, 50};
    EXPECT_EQ(median_of(samples), 60u);  // the upper middle one, not 55
    EXPECT_EQ(median_of(std::array<std::uint64_t, 10>{7, 7, 7, 7, 7, 7, 7, 7, 7, 7}), 7u);
    EXPECT_EQ(median_of(std::array<std::uint64_t, 10>{0, 0, 0, 0, 0, 201, 201, 201, 201, 201}),
              201u);
}

TEST(WholeMilliseconds, TruncatesAndTreatsABackwardClockAsZero) {
    EXPECT_EQ(whole_milliseconds(199'999'999ns), 199u);
    EXPECT_EQ(whole_milliseconds(200ms), 200u);
    EXPECT_EQ(whole_milliseconds(3s + 999'999ns), 3000u);
    EXPECT_EQ(whole_milliseconds(999'999ns), 0u);
    EXPECT_EQ(whole_milliseconds(-5ms), 0u);
}

}  // namespace
}  // namespace murv::perf_assert
