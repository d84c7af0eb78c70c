#include "os/platform.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace murv::os {
namespace {

TEST(ReadEnv, TellsPresentAbsentAndNotUnicodeApart) {
    test::ScopedEnv empty("PERF_ASSERT_T_EMPTY", "");
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "中文 😀");
    test::ScopedEnv longer("PERF_ASSERT_T_LONG", std::string(5000, 'x'));
    const auto bad = test::ScopedEnv::not_unicode("PERF_ASSERT_T_BAD");
    test::ScopedEnv gone("PERF_ASSERT_T_GONE", std::nullopt);

    const auto present = read_env("PERF_ASSERT_T_TEXT");
    EXPECT_EQ(present.status, EnvStatus::present);
    EXPECT_EQ(present.value, "中文 😀");
    EXPECT_EQ(read_env("PERF_ASSERT_T_LONG").value, std::string(5000, 'x'));
    EXPECT_EQ(read_env("PERF_ASSERT_T_EMPTY").status, EnvStatus::present);
    EXPECT_FALSE(read_env("PERF_ASSERT_T_EMPTY").present_and_non_empty());
    EXPECT_EQ(read_env("PERF_ASSERT_T_BAD").status, EnvStatus::not_unicode);
    EXPECT_EQ(read_env("PERF_ASSERT_T_GONE").status, EnvStatus::absent);
}

TEST(PathExists, CountsAnyKindOfObjectByItsUtf8Name) {
    test::TempDir dir;
    const auto file = dir.path() / u8"文件 x.txt";
    test::write_file(file, "x");
    EXPECT_TRUE(path_exists(test::utf8(file)));
    EXPECT_TRUE(path_exists(dir.utf8()));
    EXPECT_TRUE(path_exists(dir.utf8() + "/文件 x.txt"));  // forward slashes do everywhere
    EXPECT_FALSE(path_exists(dir.utf8() + "/missing"));
    EXPECT_FALSE(path_exists(test::utf8(file) + std::string(1, '\0')));
    EXPECT_FALSE(path_exists(dir.utf8() + "/\xff"));
}

TEST(PathExists, FollowsLinksAndADanglingOneDoesNotCount) {
    test::TempDir dir;
    const auto file = dir.path() / "file";
    test::write_file(file, "x");
    if (!test::make_symlink(file, dir.path() / "good-link") ||
        !test::make_symlink(dir.path() / "gone", dir.path() / "dangling-link")) {
        GTEST_SKIP() << "no right to make symbolic links here";
    }

    EXPECT_FALSE(path_exists(test::utf8(dir.path() / "dangling-link")));
    if (test::under_wine()) {
        GTEST_SKIP() << "Wine 8 makes symbolic links that its own CreateFileW does not follow";
    }
    EXPECT_TRUE(path_exists(test::utf8(dir.path() / "good-link")));
}

TEST(ProfileDirectory, IsAnExistingDirectory) {
    const auto profile = profile_directory();
    ASSERT_TRUE(profile);
    EXPECT_TRUE(std::filesystem::is_directory(
        std::filesystem::path(std::u8string(profile->begin(), profile->end()))))
        << *profile;
}

}  // namespace
}  // namespace murv::os
