#include "pty/environment.hpp"

#include <gtest/gtest.h>

namespace murv::pty {
namespace {

TEST(ExpandReferences, ReplacesKnownNamesAndLeavesTheRestAsWritten) {
    const Environment environment{{"SystemRoot", "C:\\Windows"}, {"EMPTY", ""}};
    EXPECT_EQ(expand_references("%SystemRoot%\\system32;%EMPTY%x", environment),
              "C:\\Windows\\system32;x");
    EXPECT_EQ(expand_references("%UNKNOWN%;100%;%%;50%", environment), "%UNKNOWN%;100%;%%;50%");
    EXPECT_EQ(expand_references("%UNKNOWN%SystemRoot%", environment), "%UNKNOWN%SystemRoot%");
}

TEST(WithStored, TheMachineThenTheUserReplaceWhatTheProcessHas) {
    const Environment process{{"A", "process"},         {"B", "process"},   {"C", "process"},
                              {"Path", "process-path"}, {"USERNAME", "me"}, {"ROOT", "/r"}};
    const os::StoredEnvironment stored{
        .machine = {{"B", "machine"},
                    {"C", "machine"},
                    {"Path", "%ROOT%/bin", true},
                    {"USERNAME", "SYSTEM"},
                    {"X", "%B%-%LATE%", true},
                    {"LATE", "late"}},  // plain: set before any expandable one
        .user = {{"Path", "%C%/tools", true}, {"C", "user"}, {"Y", "%B%", false}},
    };
    const Environment expected{
        {"A", "process"},   {"B", "machine"},
        {"C", "user"},      {"Path", "/r/bin;user/tools"},  // the user's after the machine's
        {"USERNAME", "me"},                                 // not the system account's
        {"ROOT", "/r"},     {"X", "machine-late"},
        {"LATE", "late"},   {"Y", "%B%"}};
    EXPECT_EQ(with_stored(process, stored), expected);
}

TEST(WithStored, AUserPathWithoutAMachinePathReplacesTheProcesss) {
    const os::StoredEnvironment stored{.machine = {}, .user = {{"Path", "user-path"}}};
    EXPECT_EQ(with_stored({{"Path", "process-path"}}, stored),
              (Environment{{"Path", "user-path"}}));
}

}  // namespace
}  // namespace murv::pty
