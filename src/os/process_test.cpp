#include "os/process.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "os/system_error.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

constexpr int FILE_NOT_FOUND = 2;  // ENOENT, and ERROR_FILE_NOT_FOUND on Windows

TEST(RunToExit, ReportsSuccessOnlyForAnExitWithZero) {
    test::TempDir dir;
    test::ScopedEnv quiet("PROBE_OUT", dir.utf8() + "/report");
    for (const int code : {0, 3, 255}) {
        test::ScopedEnv exit_code("PROBE_EXIT", std::to_string(code));
        const auto status = run_to_exit(PROBE_PATH, "--version");
        ASSERT_TRUE(status) << status.error().describe();
        EXPECT_EQ(status->success(), code == 0) << code;
    }
}

TEST(RunToExit, PassesExactlyTheOneArgumentToAProgramWhosePathHasSpaces) {
    test::TempDir dir;
    const auto program =
        dir.path() / u8"with space 中文" / (std::string("app") + executable_suffix());
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(PROBE_PATH, program);
    test::ScopedEnv out("PROBE_OUT", dir.utf8() + "/report");

    ASSERT_TRUE(run_to_exit(test::utf8(program), "--version"));
    const std::string report = test::read_file(dir.path() / "report");
    EXPECT_NE(report.find("argc=2\narg1=--version\n"), std::string::npos) << report;
}

TEST(RunToExit, ReturnsTheSystemsErrorWhenItCannotStart) {
    test::TempDir dir;
    const auto missing = run_to_exit(dir.utf8() + "/missing", "--version");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().describe(), error_text(FILE_NOT_FOUND));

    // The path is taken as it is: nothing is added to it.
    std::filesystem::copy_file(PROBE_PATH, dir.path() / "app.exe");
    const auto no_suffix = run_to_exit(dir.utf8() + "/app", "--version");
    ASSERT_FALSE(no_suffix);
    EXPECT_EQ(no_suffix.error().describe(), error_text(FILE_NOT_FOUND));

    const auto directory = run_to_exit(dir.utf8(), "--version");
    ASSERT_FALSE(directory);
    EXPECT_TRUE(directory.error().describe().ends_with(")")) << directory.error().describe();
}

}  // namespace
}  // namespace murv::os
