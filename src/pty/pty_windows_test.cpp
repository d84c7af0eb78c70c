#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "os/system_error.hpp"
#include "pty/conpty_windows.hpp"
#include "pty/pty.hpp"
#include "terminal.hpp"
#include "test_support.hpp"

namespace murv::pty {
namespace {

using test::Terminal;

TEST(ConsolePty, TheProgramWritesThroughTheConsoleAndEndsWhenTheMasterGoes) {
    test::ScopedEnv stay("PROBE_STAY", "1");
    Terminal terminal;
    auto child = terminal.spawn(ShellCommand(PROBE_PATH));
    ASSERT_TRUE(child) << child.error().describe();
    const auto id = (*child)->process_id();
    ASSERT_TRUE(id);
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    EXPECT_TRUE(test::shows_line(terminal.output(), "pid=" + std::to_string(*id)));
    EXPECT_FALSE(terminal.ended());
    EXPECT_FALSE(test::process_gone(*id)) << "the program should still be up";

    // Releasing the master closes the console: the program is ended and the output ends,
    // though the reader holds its own handle to the pipe, and the console's input is still
    // open, so that the host has no other reason to go.
    auto writer = terminal.master().take_writer();
    ASSERT_TRUE(writer);
    terminal.release_master();
    ASSERT_TRUE(test::eventually([&] { return terminal.ended(); }, std::chrono::seconds(10)));
    const auto status = (*child)->wait();
    ASSERT_TRUE(status);
    EXPECT_TRUE(test::process_gone(*id));
}

TEST(ConsolePty, AVariableSetInAnotherSpellingReplacesTheInheritedOne) {
    test::ScopedEnv inherited("Murv", "from this process");
    ShellCommand command(PROBE_PATH);
    command.set_env("MURV", "1");  // names ignore case: this replaces the inherited one
    Terminal terminal;
    ASSERT_TRUE(terminal.spawn(std::move(command)));
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    // The console's own handles: Wine 8 gives a pseudo console's program none at all.
    const std::string handles = test::under_wine() ? "stdout=none" : "stdout=console";
    for (const std::string& line : std::vector<std::string>{"MURV=1", "murv_entries=1", handles})
        EXPECT_TRUE(test::shows_line(terminal.output(), line)) << line << "\n" << terminal.output();
}

// This process's current directory for the life of the object.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::filesystem::path& directory)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~CurrentDirectory() { std::filesystem::current_path(old_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  private:
    std::filesystem::path old_;
};

std::wstring image_of(DWORD process_id) {
    const test::win32::UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &length)) return L"?";
    return std::wstring(path, length);
}

// A program planted in the current directory under the name of a shell does not run: a bare
// name is looked for in the system directory and on the Path only.
TEST(ConsolePty, ABareNameIsNeverFoundInTheCurrentDirectory) {
    test::TempDir dir;
    for (const wchar_t* planted : {L"cmd.exe", L"perf-assert-planted.exe"})
        std::filesystem::copy_file(PROBE_PATH, dir.path() / planted);
    const CurrentDirectory inside(dir.path());

    for (const char* name : {"perf-assert-planted.exe", "perf-assert-planted"}) {
        ShellCommand command(name);
        command.set_env("Path", ".;;" + dir.path().filename().string() + ";..\\" +
                                    dir.path().filename().string());  // none of them absolute
        Terminal terminal;
        const auto child = terminal.spawn(std::move(command));
        ASSERT_FALSE(child) << name << " was started";
        EXPECT_EQ(child.error().describe(),
                  fmt::format("cannot run \"{}\"\n\nCaused by:\n    {}", name,
                              os::error_text(ERROR_FILE_NOT_FOUND)));
    }

    // Quoted or not (one pair of quotes is quoting), the name is the system's cmd.exe.
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    for (const char* name : {"cmd.exe", "\"cmd.exe\""}) {
        Terminal terminal;
        const auto child = terminal.spawn(ShellCommand(name));
        ASSERT_TRUE(child) << name << ": " << child.error().describe();
        const std::wstring image = image_of(*(*child)->process_id());
        EXPECT_EQ(
            ::CompareStringOrdinal(image.c_str(), -1,
                                   (std::wstring(system, length) + L"\\cmd.exe").c_str(), -1, TRUE),
            CSTR_EQUAL)
            << test::win32::to_utf8(image);
    }
}

TEST(ConsolePty, ANameOrDirectoryThatCannotBeGivenIsASpawnError) {
    test::TempDir dir;
    const auto describe = [&](ShellCommand command) {
        Terminal terminal;
        auto child = terminal.spawn(std::move(command));
        EXPECT_FALSE(child);
        return child ? std::string() : child.error().describe();
    };
    EXPECT_EQ(describe(ShellCommand("\xff.exe")), "cannot run \"\xff.exe\"\n\nCaused by:\n    " +
                                                      os::error_text(ERROR_NO_UNICODE_TRANSLATION));

    ShellCommand elsewhere(PROBE_PATH);
    elsewhere.set_cwd(dir.utf8() + "\\missing-directory");
    EXPECT_TRUE(describe(std::move(elsewhere)).starts_with("cannot "));
}

TEST(ConptyDeathTest, ALibraryWithoutThePseudoConsoleIsAFatalStop) {
    // A system library that exports none of the three.
    EXPECT_EXIT(load_conpty(L"ws2_32.dll"), testing::ExitedWithCode(2),
                "\nthread '<unnamed>' stopped at src/.+:.+:.+:\n"
                "this system does not support conpty\\.  Windows 10 October 2018 or newer is "
                "required\n$");
    const auto functions = load_conpty(L"kernel32.dll");
    EXPECT_TRUE(functions.create && functions.resize && functions.close);
}

}  // namespace
}  // namespace murv::pty
