#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "os/win32.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

const std::wstring LONE_SURROGATE{L'a', wchar_t(0xd800), L'b'};

TEST(ReadEnv, NamesIgnoreCaseAndAReversedPairIsNotUnicode) {
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "中文 😀");
    test::ScopedEnv reversed("PERF_ASSERT_T_REVERSED",
                             std::wstring{wchar_t(0xdc00), wchar_t(0xd800)});
    EXPECT_EQ(read_env("perf_assert_t_text").value, "中文 😀");
    EXPECT_EQ(read_env("PERF_ASSERT_T_REVERSED").status, EnvStatus::not_unicode);
}

TEST(DefaultEnvironment, HoldsEveryVariableOnceAndKeepsWhatIsNotUnicode) {
    test::ScopedEnv text("PERF_ASSERT_T_TEXT", "a=b 中文");
    test::ScopedEnv lone("PERF_ASSERT_T_LONE", LONE_SURROGATE);
    int text_seen = 0;
    for (const auto& [name, value] : default_environment()) {
        EXPECT_FALSE(name.empty() || name.front() == '=') << name;
        if (name == "PERF_ASSERT_T_TEXT") {
            ++text_seen;
            EXPECT_EQ(value, "a=b 中文");  // split at the first '=' only
        }
        // Passed on to a child, the value is the same UTF-16 again.
        if (name == "PERF_ASSERT_T_LONE") {
            EXPECT_EQ(win32::to_wide(value), LONE_SURROGATE);
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

}  // namespace
}  // namespace murv::os
