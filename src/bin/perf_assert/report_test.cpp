#include "report.hpp"

#include <gtest/gtest.h>

namespace murv::perf_assert {
namespace {

TEST(Report, LinesAreExactBytes) {
    EXPECT_EQ(path_line("/p/target/release/murv"), "二进制路径：/p/target/release/murv\n");
    EXPECT_EQ(cold_start_line(10, 37, 200),
              "[1/2] 冷启动中位数（10 次）：37 ms （预算 < 200 ms）\n");
    EXPECT_EQ(idle_rss_line(0, 80), "[2/2] 5 个 PTY session 空闲 RSS：0 MB （预算 < 80 MB）\n");
    // The full-width punctuation, spelled out.
    EXPECT_EQ(cold_start_line(10, 5, 200),
              "[1/2] \u51b7\u542f\u52a8\u4e2d\u4f4d\u6570\uff0810 \u6b21\uff09\uff1a5 ms "
              "\uff08\u9884\u7b97 < 200 ms\uff09\n");
}

TEST(Report, NumbersArePlainDecimal) {
    EXPECT_EQ(cold_start_line(10, 18446744073709551615u, 200),
              "[1/2] 冷启动中位数（10 次）：18446744073709551615 ms （预算 < 200 ms）\n");
}

// The verdict lines and the closing line are checked as bytes end to end.
TEST(Verdict, OnlyAValueAboveTheBudgetFails) {
    EXPECT_FALSE(over_budget(199, 200));
    EXPECT_FALSE(over_budget(200, 200));
    EXPECT_TRUE(over_budget(201, 200));
}

}  // namespace
}  // namespace murv::perf_assert
