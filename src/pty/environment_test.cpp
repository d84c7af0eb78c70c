#include "pty/environment.hpp"

#include <gtest/gtest.h>

namespace murv::pty {
namespace {

TEST(ExpandReferences, ReplacesKnownNamesAndLeavesTheRestAsWritten) {
    const Environment environment{{"SystemRoot", "C:\\Windows"}, {"EMPTY", ""}};
    EXPECT_EQ(expand_references("%SystemRoot%\\system32;%EMPTY%x", environment),
              "C:\\Windows\\system32;x");
    EXPECT_EQ(expand_references("%UNKNOWN%;100%;%%;50%", environment), "%UNKNOWN%;100%;%%;50%");
    EXPECT_EQ(expand_references("%UNKNOWN%SystemRoot%", environment), "%UNKNOWN%SystemRoot%");
}

}  // namespace
}  // namespace murv::pty
