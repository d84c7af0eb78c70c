#include "os/resident_memory.hpp"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace murv::os {
namespace {

TEST(OwnResidentBytes, FollowsWhatThisProcessTouches) {
    const auto before = own_resident_bytes();
    ASSERT_TRUE(before) << before.error().describe();
    EXPECT_GT(*before, 1u << 20);
    std::vector<char> touched(64u << 20);
    std::memset(touched.data(), 1, touched.size());
    const auto after = own_resident_bytes();
    ASSERT_TRUE(after);
    EXPECT_GE(*after, *before + (60u << 20)) << *before << " then " << *after;
    EXPECT_EQ(touched[touched.size() / 2], 1);
}

}  // namespace
}  // namespace murv::os
