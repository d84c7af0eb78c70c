#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

// The user's entry of the password database, as this test reads it itself.
std::optional<std::string> home_in_password_database() {
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr || entry->pw_dir == nullptr || *entry->pw_dir == '\0') return std::nullopt;
    return entry->pw_dir;
}

TEST(ProfileDirectory, IsHomeWhenUsableElseThePasswordDatabaseEntry) {
    {
        test::ScopedEnv home("HOME", "/somewhere/else");
        EXPECT_EQ(profile_directory(), "/somewhere/else");
    }
    const auto from_database = home_in_password_database();
    ASSERT_TRUE(from_database) << "this user has no home in the password database";
    for (const std::optional<std::string>& unusable :
         {std::optional<std::string>(), {""}, {"\xff"}}) {
        test::ScopedEnv home("HOME", unusable);
        EXPECT_EQ(profile_directory(), from_database);
    }
}

}  // namespace
}  // namespace murv::os
