#include <memory>

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "base/quote.hpp"
#include "os/win32.hpp"

namespace murv::os::win32 {
namespace {

const std::wstring LONE_SURROGATE{L'a', wchar_t(0xd800), L'b'};

TEST(TextConversion, RoundTripsAndRefusesWhatIsNotUtf8) {
    EXPECT_EQ(to_wide("中文 😀"), std::wstring(L"中文 \U0001F600"));
    EXPECT_EQ(to_utf8(L"中文 \U0001F600"), "中文 😀");
    EXPECT_EQ(to_wide(to_utf8(LONE_SURROGATE)), LONE_SURROGATE);
    EXPECT_EQ(to_utf8(LONE_SURROGATE),
              "a\xed\xa0\x80"
              "b");
    for (const char* bad : {"\xff", "\xc0\x80", "\xe4\xb8", "\xf4\x90\x80\x80"})
        EXPECT_EQ(to_wide(bad), std::nullopt) << debug_quoted(bad);
    EXPECT_EQ(win32::to_wide_lossy("a\xff"
                                   "b"),
              L"a\ufffdb");
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
    for (std::size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(std::wstring(parsed.get()[i + 1]), arguments[i]) << to_utf8(line);
}

}  // namespace
}  // namespace murv::os::win32
