#include <filesystem>

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "support/platform.hpp"
#include "support/quote.hpp"
#include "support/win32.hpp"
#include "test_support.hpp"

namespace murv {
namespace {

using win32::to_utf8;
using win32::to_wide;

const std::wstring LONE_SURROGATE{L'a', wchar_t(0xd800), L'b'};

TEST(ReadEnv, TellsPresentAbsentAndNotUnicodeApart) {
    test::ScopedEnv empty("PERF_ASSERT_T_EMPTY", "");
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "中文 😀");
    test::ScopedEnv longer("PERF_ASSERT_T_LONG", std::string(5000, 'x'));
    test::ScopedEnv lone("PERF_ASSERT_T_LONE", LONE_SURROGATE);
    test::ScopedEnv reversed("PERF_ASSERT_T_REVERSED",
                             std::wstring{wchar_t(0xdc00), wchar_t(0xd800)});
    test::ScopedEnv gone("PERF_ASSERT_T_GONE", std::nullopt);

    const auto present = read_env("PERF_ASSERT_T_TEXT");
    EXPECT_EQ(present.status, EnvStatus::present);
    EXPECT_EQ(present.value, "中文 😀");
    EXPECT_EQ(read_env("perf_assert_t_text").value, "中文 😀");  // names ignore case
    EXPECT_EQ(read_env("PERF_ASSERT_T_LONG").value, std::string(5000, 'x'));
    EXPECT_EQ(read_env("PERF_ASSERT_T_EMPTY").status, EnvStatus::present);
    EXPECT_FALSE(read_env("PERF_ASSERT_T_EMPTY").present_and_non_empty());
    EXPECT_EQ(read_env("PERF_ASSERT_T_LONE").status, EnvStatus::not_unicode);
    EXPECT_EQ(read_env("PERF_ASSERT_T_REVERSED").status, EnvStatus::not_unicode);
    EXPECT_EQ(read_env("PERF_ASSERT_T_GONE").status, EnvStatus::absent);
}

TEST(ProcessEnvironment, HoldsEveryVariableOnceAndKeepsWhatIsNotUnicode) {
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "a=b 中文");
    test::ScopedEnv lone("PERF_ASSERT_T_LONE", LONE_SURROGATE);
    int text_seen = 0;
    for (const auto& [name, value] : process_environment()) {
        EXPECT_FALSE(name.empty() || name.front() == '=') << name;
        if (name == "PERF_ASSERT_T_TEXT") {
            ++text_seen;
            EXPECT_EQ(value, "a=b 中文");  // split at the first '=' only
        }
        // Passed on to a child, the value is the same UTF-16 again.
        if (name == "PERF_ASSERT_T_LONE") {
            EXPECT_EQ(to_wide(value), LONE_SURROGATE);
        }
    }
    EXPECT_EQ(text_seen, 1);
}

TEST(EnvNameLess, ComparesUpperCasedCodeUnits) {
    EXPECT_FALSE(env_name_less("path", "PATH"));
    EXPECT_FALSE(env_name_less("PATH", "path"));
    EXPECT_FALSE(env_name_less("é", "É"));
    EXPECT_TRUE(env_name_less("a", "B"));
    EXPECT_TRUE(env_name_less("A", "b"));
    // Upper-cased, not lower-cased: '_' sorts after the capitals and before the small letters.
    EXPECT_TRUE(env_name_less("ab", "A_B"));
    EXPECT_FALSE(env_name_less("A_B", "ab"));
    EXPECT_TRUE(env_name_less("PATH", "PATHEXT"));
}

TEST(OsErrorText, IsTheSystemsTextWithoutItsLineEndThenTheCode) {
    const std::string text = os_error_text(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(text.ends_with(" (os error 2)")) << text;
    EXPECT_GT(text.size(), std::string(" (os error 2)").size());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_EQ(os_error_text(0x12345), "unknown error (os error 74565)");

    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(last_os_error(), 5);
}

// Standard output or error as the read end of a pipe, for the life of the object.
class CapturedStandard {
  public:
    explicit CapturedStandard(DWORD which) : which_(which), old_(::GetStdHandle(which)) {
        HANDLE ends[2];
        EXPECT_TRUE(::CreatePipe(&ends[0], &ends[1], nullptr, 0));
        read_.reset(ends[0]);
        write_.reset(ends[1]);
        ::SetStdHandle(which_, write_.get());
    }
    ~CapturedStandard() { ::SetStdHandle(which_, old_); }

    // Everything written so far; the writing end is closed.
    std::string take() {
        ::SetStdHandle(which_, old_);
        write_.reset();
        std::string text;
        char buffer[256];
        DWORD read;
        while (::ReadFile(read_.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        return text;
    }
    void close_reader() { read_.reset(); }

  private:
    DWORD which_;
    HANDLE old_;
    win32::UniqueHandle read_;
    win32::UniqueHandle write_;
};

TEST(WriteStandard, WritesTheExactBytesWithoutLineEndTranslation) {
    const std::string bytes = "a\nb\r\n中文 \xff end";
    for (const auto& [stream, which] : {std::pair{StandardStream::output, STD_OUTPUT_HANDLE},
                                        std::pair{StandardStream::error, STD_ERROR_HANDLE}}) {
        CapturedStandard captured(which);
        ASSERT_TRUE(write_standard(stream, bytes));
        ASSERT_TRUE(write_standard(stream, "\n"));
        EXPECT_EQ(captured.take(), bytes + "\n");
    }
}

TEST(WriteStandard, APipeWithoutReaderIsAnErrorNotAnEnd) {
    ignore_broken_pipe();
    CapturedStandard captured(STD_OUTPUT_HANDLE);
    captured.close_reader();
    const auto written = write_standard(StandardStream::output, "lost\n");
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().message().ends_with(")")) << written.error().message();
}

TEST(ProfileDirectory, IsAnExistingDirectory) {
    const auto profile = profile_directory();
    ASSERT_TRUE(profile);
    EXPECT_TRUE(path_exists(*profile)) << *profile;
    EXPECT_TRUE(std::filesystem::is_directory(*to_wide(*profile))) << *profile;
}

std::string utf8(const std::filesystem::path& path) {
    return to_utf8(path.wstring());
}

TEST(PathExists, CountsFilesAndDirectoriesByTheirUtf8Names) {
    test::TempDir dir;
    const auto file = dir.path() / L"文件 x.txt";
    test::write_file(file, "x");
    EXPECT_TRUE(path_exists(utf8(file)));
    EXPECT_TRUE(path_exists(dir.utf8()));
    EXPECT_TRUE(path_exists(dir.utf8() + "/文件 x.txt"));  // forward slashes do as well
    EXPECT_FALSE(path_exists(dir.utf8() + "/missing"));
    EXPECT_FALSE(path_exists(utf8(file) + std::string(1, '\0')));
    EXPECT_FALSE(path_exists(dir.utf8() + "/\xff"));
}

TEST(PathExists, FollowsLinksAndADanglingOneDoesNotCount) {
    test::TempDir dir;
    const auto file = dir.path() / L"文件 x.txt";
    test::write_file(file, "x");
    const auto dangling = dir.path() / L"dangling-link";
    const auto good = dir.path() / L"good-link";
    constexpr DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!::CreateSymbolicLinkW(dangling.c_str(), (dir.path() / L"gone").c_str(), unprivileged) ||
        !::CreateSymbolicLinkW(good.c_str(), file.c_str(), unprivileged)) {
        GTEST_SKIP() << "no right to make symbolic links here";
    }
    EXPECT_FALSE(path_exists(utf8(dangling)));
    if (test::under_wine()) {
        GTEST_SKIP() << "Wine 8 makes symbolic links that its own CreateFileW does not follow";
    }
    EXPECT_TRUE(path_exists(utf8(good)));
}

TEST(TextConversion, RoundTripsAndRefusesWhatIsNotUtf8) {
    EXPECT_EQ(to_wide("中文 😀"), std::wstring(L"中文 \U0001F600"));
    EXPECT_EQ(to_utf8(L"中文 \U0001F600"), "中文 😀");
    EXPECT_EQ(to_wide(to_utf8(LONE_SURROGATE)), LONE_SURROGATE);
    EXPECT_EQ(to_utf8(LONE_SURROGATE),
              "a\xed\xa0\x80"
              "b");
    for (const char* bad : {"\xff", "\xc0\x80", "\xe4\xb8", "\xf4\x90\x80\x80"}) {
        EXPECT_EQ(to_wide(bad), std::nullopt) << debug_quoted(bad);
    }
    EXPECT_EQ(win32::to_wide_lossy("a\xff"
                                   "b"),
              L"a\ufffd"
              "b");
    EXPECT_TRUE(win32::is_valid_utf16(L"中文 \U0001F600"));
    EXPECT_FALSE(win32::is_valid_utf16(LONE_SURROGATE));
    EXPECT_FALSE(win32::is_valid_utf16(std::wstring(1, wchar_t(0xdc00))));
}

TEST(CommandLine, TheSystemsParserGivesEveryArgumentBack) {
    const std::vector<std::wstring> arguments{
        L"--version",     L"",           L"two words",         L"tab\there",
        L"quote\"inside", L"trailing\\", L"back\\\\\"slashes", L"\\\\server\\share\\",
        L"a\\b c\\",      L"中文"};
    std::wstring line;
    win32::append_program(line, L"C:\\Program Files\\murv\\murv.exe");
    for (const auto& argument : arguments)
        win32::append_argument(line, argument);

    int count = 0;
    const std::unique_ptr<wchar_t*, decltype(&::LocalFree)> parsed(
        ::CommandLineToArgvW(line.c_str(), &count), &::LocalFree);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(count, static_cast<int>(arguments.size()) + 1) << to_utf8(line);
    EXPECT_EQ(std::wstring(parsed.get()[0]), L"C:\\Program Files\\murv\\murv.exe");
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        EXPECT_EQ(std::wstring(parsed.get()[i + 1]), arguments[i]) << to_utf8(line);
    }
}

}  // namespace
}  // namespace murv
