#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "bin/perf_assert/idle_rss.hpp"
#include "test_support.hpp"

namespace perf_assert {
namespace {

TEST(IdleSessionShell, IsComSpecWhenPresentEvenEmptyElseCmd) {
    test::ScopedEnv shell("SHELL", "C:\\msys\\bin\\bash.exe");  // not asked here
    {
        test::ScopedEnv comspec("ComSpec", "C:\\Windows\\system32\\cmd.exe");
        EXPECT_EQ(idle_session_shell(), "C:\\Windows\\system32\\cmd.exe");
    }
    {
        test::ScopedEnv comspec("comspec", "");
        EXPECT_EQ(idle_session_shell(), "");
    }
    {
        test::ScopedEnv comspec("ComSpec", std::nullopt);
        EXPECT_EQ(idle_session_shell(), "cmd.exe");
    }
    test::ScopedEnv comspec("ComSpec", std::wstring(1, wchar_t(0xdc00)));
    EXPECT_EQ(idle_session_shell(), "cmd.exe");
}

TEST(ResidentBytes, IsTheWorkingSetAndFollowsWhatIsTouched) {
    const std::uint64_t before = resident_bytes_or_stop();
    EXPECT_GT(before, 1u << 20);
    std::vector<char> touched(64u << 20);
    std::memset(touched.data(), 1, touched.size());
    const std::uint64_t after = resident_bytes_or_stop();
    EXPECT_GE(after, before + (60u << 20)) << before << " then " << after;
    EXPECT_EQ(touched[touched.size() / 2], 1);
}

}  // namespace
}  // namespace perf_assert
