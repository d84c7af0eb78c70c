#include <filesystem>

#include <windows.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "os/process.hpp"
#include "os/win32.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

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
    const std::string report = test::read_all(output_read.get());
    EXPECT_NE(report.find("leak_write=failed\n"), std::string::npos) << report;

    leak_write.reset();
    char byte;
    DWORD read;
    EXPECT_FALSE(::ReadFile(leak_read.get(), &byte, 1, &read, nullptr))
        << "the program wrote to a handle it should not have had";
}

// A service, a scheduler or a GUI parent may leave the standard handles unset, or set to a value
// that no longer names a handle: the program still starts, and is handed no such value. (Wine
// drops such values itself; Windows hands them on as they are.)
TEST(RunToExit, StartsTheProgramWhenStandardHandlesAreMissingOrStale) {
    test::TempDir dir;
    test::ScopedEnv out("PROBE_OUT", dir.utf8() + "/report");
    const HANDLE old_input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE old_error = ::GetStdHandle(STD_ERROR_HANDLE);
    HANDLE stale = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                                  ::GetCurrentProcess(), &stale, 0, FALSE, DUPLICATE_SAME_ACCESS));
    ::CloseHandle(stale);
    ::SetStdHandle(STD_INPUT_HANDLE, stale);
    ::SetStdHandle(STD_ERROR_HANDLE, nullptr);
    const auto status = run_to_exit(PROBE_PATH, "--version");
    ::SetStdHandle(STD_INPUT_HANDLE, old_input);
    ::SetStdHandle(STD_ERROR_HANDLE, old_error);

    ASSERT_TRUE(status) << status.error().describe();
    EXPECT_TRUE(status->success());
    const std::string report = test::read_file(dir.path() / "report");
    EXPECT_NE(report.find("argc=2\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("=invalid\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace murv::os
