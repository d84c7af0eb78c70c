#include "discovery.hpp"

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

// None, then the second (keeping its ".."), then both: the first that exists wins.
TEST(FirstExisting, IsTheFirstCandidateOnDisk) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / u8"项目");
    const auto candidates = release_candidates(dir.utf8() + "/项目");
    EXPECT_EQ(first_existing(candidates), std::nullopt);
    test::write_file(dir.path() / ("target/release/murv" + SUFFIX), "");
    EXPECT_EQ(first_existing(candidates), dir.utf8() + "/项目/../target/release/murv" + SUFFIX);
    test::write_file(dir.path() / u8"项目/target/release" / ("murv" + SUFFIX), "");
    EXPECT_EQ(first_existing(candidates), dir.utf8() + "/项目/target/release/murv" + SUFFIX);
}

TEST(NotFoundMessage, ListsBothCandidatesQuoted) {
    EXPECT_EQ(not_found_message(release_candidates(R"(C:\my "app")")),
              R"(找不到 murv release 二进制；尝试过：["C:\\my \"app\"/target/release/murv)" +
                  SUFFIX + R"(", "C:\\my \"app\"/../target/release/murv)" + SUFFIX +
                  R"("]。先跑 `cargo build --release --bin murv`。)");
}

}  // namespace
}  // namespace murv::perf_assert
