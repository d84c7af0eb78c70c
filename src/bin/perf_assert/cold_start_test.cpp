#include "cold_start.hpp"

#include <gtest/gtest.h>

namespace murv::perf_assert {
namespace {

using namespace std::chrono_literals;

TEST(Median, IsTheSixthSmallestWhateverTheOrder) {
    EXPECT_EQ(median_of({70, 10, 100, 40, 20, 90, 60, 30, 80, 50}), 60u);  // not 55
    EXPECT_EQ(median_of({7, 7, 7, 7, 7, 7, 7, 7, 7, 7}), 7u);
    EXPECT_EQ(median_of({0, 0, 0, 0, 0, 201, 201, 201, 201, 201}), 201u);
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
