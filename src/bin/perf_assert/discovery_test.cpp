#include "discovery.hpp"

#include <vector>

#include <gtest/gtest.h>

#include "os/platform.hpp"
#include "test_support.hpp"

namespace murv::perf_assert {
namespace {

const std::string SUFFIX = os::executable_suffix();  // "murv.exe" on Windows

TEST(ReleaseCandidates, JoinsWithForwardSlashesAndNormalisesNothing) {
    EXPECT_EQ(release_candidates("/work/murv"),
              (std::array<std::string, 2>{"/work/murv/target/release/murv" + SUFFIX,
                                          "/work/murv/../target/release/murv" + SUFFIX}));
    EXPECT_EQ(release_candidates(R"(C:\src\murv\)")[1],
              R"(C:\src\murv\/../target/release/murv)" + SUFFIX);
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
    std::filesystem::create_directories(dir.path() / u8"项目");
    const auto candidates = release_candidates(dir.utf8() + "/项目");
    EXPECT_EQ(first_existing(candidates, os::path_exists), std::nullopt);
    test::write_file(dir.path() / ("target/release/murv" + SUFFIX), "");
    EXPECT_EQ(first_existing(candidates, os::path_exists),
              dir.utf8() + "/项目/../target/release/murv" + SUFFIX);
}

TEST(NotFoundMessage, ListsBothCandidatesQuoted) {
    EXPECT_EQ(not_found_message(release_candidates(R"(C:\my "app")")),
              R"(找不到 murv release 二进制；尝试过：["C:\\my \"app\"/target/release/murv)" +
                  SUFFIX + R"(", "C:\\my \"app\"/../target/release/murv)" + SUFFIX +
                  R"("]。先跑 `cargo build --release --bin murv`。)");
}

}  // namespace
}  // namespace murv::perf_assert
