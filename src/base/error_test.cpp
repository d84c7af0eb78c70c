#include "base/error.hpp"

#include <gtest/gtest.h>

namespace murv {
namespace {

TEST(Error, DescribesMessageAloneWithoutCauses) {
    EXPECT_EQ(Error("openpty 失败").describe(), "openpty 失败");
}

TEST(Error, DescribesCausesOutermostFirstIndentedByFourSpaces) {
    const Error error("spawn shell 子进程失败",
                      Error("cannot run \"/x\"", Error("No such file or directory (os error 2)")));
    EXPECT_EQ(error.describe(),
              "spawn shell 子进程失败\n\nCaused by:\n    cannot run \"/x\"\n"
              "    No such file or directory (os error 2)");
    ASSERT_NE(error.cause(), nullptr);
    EXPECT_EQ(error.cause()->message(), "cannot run \"/x\"");
}

TEST(Error, IndentsEveryLineOfAMultiLineCause) {
    EXPECT_EQ(Error("outer", Error("first\nsecond")).describe(),
              "outer\n\nCaused by:\n    first\n    second");
}

}  // namespace
}  // namespace murv
