#include <filesystem>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/platform.hpp"
#include "test_support.hpp"

namespace murv {
namespace {

TEST(ReadEnv, TellsPresentAbsentAndNotUnicodeApart) {
    test::ScopedEnv empty("PERF_ASSERT_T_EMPTY", "");
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "中文");
    test::ScopedEnv bad("PERF_ASSERT_T_BAD", "\xff\xfe");
    test::ScopedEnv gone("PERF_ASSERT_T_GONE", std::nullopt);

    const auto present = read_env("PERF_ASSERT_T_TEXT");
    EXPECT_EQ(present.status, EnvStatus::present);
    EXPECT_EQ(present.value, "中文");
    EXPECT_EQ(read_env("PERF_ASSERT_T_EMPTY").status, EnvStatus::present);
    EXPECT_FALSE(read_env("PERF_ASSERT_T_EMPTY").present_and_non_empty());
    EXPECT_EQ(read_env("PERF_ASSERT_T_BAD").status, EnvStatus::not_unicode);
    EXPECT_EQ(read_env("PERF_ASSERT_T_GONE").status, EnvStatus::absent);
}

// In a child, so that this process keeps its streams: with 0 and 2 closed, a new descriptor
// lands above 2, and the held streams still refuse what they were closed for.
TEST(HoldStandardStreams, KeepsClosedStreamsClosedAndTheirNumbersTaken) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(STDIN_FILENO);
        ::close(STDERR_FILENO);
        hold_standard_streams();
        int fds[2];
        char byte = 'x';
        const bool sound = ::pipe(fds) == 0 && fds[0] > STDERR_FILENO &&
                           ::write(STDERR_FILENO, &byte, 1) < 0 && errno == EBADF &&
                           ::read(STDIN_FILENO, &byte, 1) < 0 && errno == EBADF;
        ::_exit(sound ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

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

TEST(PathExists, FollowsLinksAndCountsAnyKindOfObject) {
    test::TempDir dir;
    const auto file = dir.path() / "file";
    test::write_file(file, "x");
    std::filesystem::create_symlink(file, dir.path() / "good-link");
    std::filesystem::create_symlink(dir.path() / "missing", dir.path() / "dangling-link");

    EXPECT_TRUE(path_exists(file.string()));
    EXPECT_TRUE(path_exists(dir.path().string()));
    EXPECT_TRUE(path_exists((dir.path() / "good-link").string()));
    EXPECT_FALSE(path_exists((dir.path() / "dangling-link").string()));
    EXPECT_FALSE(path_exists((dir.path() / "missing").string()));
    EXPECT_FALSE(path_exists(file.string() + std::string(1, '\0')));
}

}  // namespace
}  // namespace murv
