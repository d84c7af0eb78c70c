#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

TEST(ProfileDirectory, IsHomeWhenUsableElseThePasswordDatabaseEntry) {
    {
        test::ScopedEnv home("HOME", "/somewhere/else");
        EXPECT_EQ(profile_directory(), "/somewhere/else");
    }
    std::optional<std::string> from_database;
    {
        test::ScopedEnv home("HOME", std::nullopt);
        from_database = profile_directory();
    }
    for (const char* unusable : {"", "\xff"}) {
        test::ScopedEnv home("HOME", unusable);
        EXPECT_EQ(profile_directory(), from_database);
    }
}

}  // namespace
}  // namespace murv::os
