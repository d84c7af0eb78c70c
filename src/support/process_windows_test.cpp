#include <filesystem>

#include <windows.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/platform.hpp"
#include "support/process.hpp"
#include "support/win32.hpp"
#include "test_support.hpp"

namespace murv {
namespace {

TEST(RunToExit, ReportsSuccessOnlyForAnExitWithZero) {
    for (const int code : {0, 3, 259}) {
        test::ScopedEnv exit_code("PROBE_EXIT", std::to_string(code));
        const auto status = run_to_exit(PROBE_PATH, "--version");
        ASSERT_TRUE(status) << status.error().describe();
        EXPECT_EQ(status->success(), code == 0) << code;
    }
}

TEST(RunToExit, PassesExactlyTheOneArgumentToAProgramWhosePathHasSpaces) {
    test::TempDir dir;
    const auto program = dir.path() / L"with space 中文" / L"app.exe";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(PROBE_PATH, program);
    const auto report = dir.path() / "report";
    test::ScopedEnv out("PROBE_OUT", dir.utf8() + "/report");

    ASSERT_TRUE(run_to_exit(win32::to_utf8(program.wstring()), "--version"));
    const std::string text = test::read_file(report);
    EXPECT_NE(text.find("argc=2\narg1=--version\n"), std::string::npos) << text;
}

TEST(RunToExit, ReturnsTheSystemsErrorWhenItCannotStart) {
    test::TempDir dir;
    const auto missing = run_to_exit(dir.utf8() + "/missing.exe", "--version");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message(), os_error_text(ERROR_FILE_NOT_FOUND));

    // The path is taken as it is: no ".exe" is added to it.
    std::filesystem::copy_file(PROBE_PATH, dir.path() / "app.exe");
    const auto no_suffix = run_to_exit(dir.utf8() + "/app", "--version");
    ASSERT_FALSE(no_suffix);
    EXPECT_EQ(no_suffix.error().message(), os_error_text(ERROR_FILE_NOT_FOUND));

    const auto directory = run_to_exit(dir.utf8(), "--version");
    ASSERT_FALSE(directory);
    EXPECT_TRUE(directory.error().message().ends_with(")")) << directory.error().message();
}

TEST(RunToExit, GivesTheProgramTheStandardHandlesAndNoOther) {
    // Standard output: a pipe whose handles are not inheritable.
    HANDLE ends[2];
    ASSERT_TRUE(::CreatePipe(&ends[0], &ends[1], nullptr, 0));
    win32::UniqueHandle output_read(ends[0]);
    win32::UniqueHandle output_write(ends[1]);
    // And an inheritable handle the program must not get.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    ASSERT_TRUE(::CreatePipe(&ends[0], &ends[1], &inheritable, 0));
    win32::UniqueHandle leak_read(ends[0]);
    win32::UniqueHandle leak_write(ends[1]);

    const HANDLE old_output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, output_write.get());
    test::ScopedEnv out("PROBE_OUT", "-");
    test::ScopedEnv leak("PROBE_LEAK",
                         fmt::format("{:x}", reinterpret_cast<std::uintptr_t>(leak_write.get())));
    const auto status = run_to_exit(PROBE_PATH, "--version");
    ::SetStdHandle(STD_OUTPUT_HANDLE, old_output);
    ASSERT_TRUE(status && status->success());

    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(output_write.get(), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u) << "the handle stayed inheritable";

    output_write.reset();
    std::string report;
    char buffer[512];
    DWORD read;
    while (::ReadFile(output_read.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        report.append(buffer, read);
    }
    EXPECT_NE(report.find("leak_write=failed\n"), std::string::npos) << report;

    leak_write.reset();
    EXPECT_FALSE(::ReadFile(leak_read.get(), buffer, sizeof buffer, &read, nullptr))
        << "the program wrote to a handle it should not have had";
}

}  // namespace
}  // namespace murv
