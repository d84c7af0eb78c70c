#include "bin/perf_assert/discovery.hpp"

#include <vector>

#include <gtest/gtest.h>

#include "support/platform.hpp"
#include "test_support.hpp"

namespace perf_assert {
namespace {

TEST(ReleaseCandidates, JoinsWithForwardSlashesAndNormalisesNothing) {
    EXPECT_EQ(release_candidates("/work/murv"),
              (std::array<std::string, 2>{"/work/murv/target/release/murv",
                                          "/work/murv/../target/release/murv"}));
    EXPECT_EQ(release_candidates(R"(C:\src\murv\)")[1], R"(C:\src\murv\/../target/release/murv)");
}

TEST(FirstExisting, TheFirstWinsAndTheSecondIsNotAskedAbout) {
    const auto candidates = release_candidates("/p");
    std::vector<std::string> asked;
    const auto found = first_existing(candidates, [&](const std::string& path) {
        asked.push_back(path);
        return true;
    });
    EXPECT_EQ(found, candidates[0]);
    EXPECT_EQ(asked, std::vector<std::string>{candidates[0]});
}

TEST(FirstExisting, FindsTheSecondOnDiskKeepingItsDotDot) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "project");
    test::write_file(dir.path() / "target/release/murv", "");
    const auto candidates = release_candidates((dir.path() / "project").string());
    EXPECT_EQ(first_existing(candidates, murv::path_exists),
              (dir.path() / "project/../target/release/murv").string());
}

TEST(FirstExisting, ADirectoryCountsAndADanglingLinkDoesNot) {
    test::TempDir dir;
    const auto candidates = release_candidates(dir.path().string());
    std::filesystem::create_directories(dir.path() / "target/release");
    std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "target/release/murv");
    EXPECT_EQ(first_existing(candidates, murv::path_exists), std::nullopt);

    std::filesystem::remove(dir.path() / "target/release/murv");
    std::filesystem::create_directory(dir.path() / "target/release/murv");
    EXPECT_EQ(first_existing(candidates, murv::path_exists), candidates[0]);
}

TEST(NotFoundMessage, ListsBothCandidatesQuoted) {
    EXPECT_EQ(
        not_found_message(release_candidates(R"(C:\my "app")")),
        R"(找不到 murv release 二进制；尝试过：["C:\\my \"app\"/target/release/murv", )"
        R"("C:\\my \"app\"/../target/release/murv"]。先跑 `cargo build --release --bin murv`。)");
}

}  // namespace
}  // namespace perf_assert
