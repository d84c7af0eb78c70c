#include <gtest/gtest.h>

#include "bin/perf_assert/discovery.hpp"
#include "support/platform.hpp"
#include "test_support.hpp"

namespace perf_assert {
namespace {

TEST(ReleaseCandidates, EndInMurvExeJoinedWithForwardSlashes) {
    EXPECT_EQ(release_candidates("Z:/work/murv"),
              (std::array<std::string, 2>{"Z:/work/murv/target/release/murv.exe",
                                          "Z:/work/murv/../target/release/murv.exe"}));
    EXPECT_EQ(release_candidates(R"(C:\src\murv\)")[1],
              R"(C:\src\murv\/../target/release/murv.exe)");
}

TEST(FirstExisting, FindsTheExeOnlyAndTheSecondKeepingItsDotDot) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / L"项目");
    const auto candidates = release_candidates(dir.utf8() + "\\项目");
    // A build without the suffix is no candidate: Windows would not start it as murv.exe.
    test::write_file(dir.path() / "target/release/murv", "");
    EXPECT_EQ(first_existing(candidates, murv::path_exists), std::nullopt);

    test::write_file(dir.path() / "target/release/murv.exe", "");
    EXPECT_EQ(first_existing(candidates, murv::path_exists),
              dir.utf8() + "\\项目/../target/release/murv.exe");
}

TEST(FirstExisting, ADirectoryCounts) {
    test::TempDir dir;
    const auto candidates = release_candidates(dir.utf8());
    std::filesystem::create_directories(dir.path() / "target/release/murv.exe");
    EXPECT_EQ(first_existing(candidates, murv::path_exists), candidates[0]);
}

TEST(NotFoundMessage, ListsBothExeCandidatesQuoted) {
    EXPECT_EQ(
        not_found_message(release_candidates(R"(C:\my app)")),
        R"(找不到 murv release 二进制；尝试过：["C:\\my app/target/release/murv.exe", )"
        R"("C:\\my app/../target/release/murv.exe"]。先跑 `cargo build --release --bin murv`。)");
}

}  // namespace
}  // namespace perf_assert
