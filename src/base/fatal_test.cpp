#include "base/fatal.hpp"

#include <chrono>
#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "base/exit_codes.hpp"
#include "sanitized.hpp"

namespace murv {
namespace {

// The patterns keep to what GoogleTest's expressions share on every platform: no brackets,
// no groups.
TEST(FatalDeathTest, WritesTheThreadThePlaceAndTheMessageThenEndsWithStatusTwo) {
    EXPECT_EXIT(fatal("找不到 \"x\""), testing::ExitedWithCode(EXIT_FATAL),
                "\nthread '<unnamed>' stopped at src/base/fatal_test\\.cpp:.+:.+:\n"
                "找不到 \"x\"\n$");
    EXPECT_EXIT((name_this_thread_main(), fatal("stop")), testing::ExitedWithCode(EXIT_FATAL),
                "\nthread 'main' stopped at .+:\nstop\n$");
}

// Once the run has claimed the end, a stop on another thread waits for it, and the run's own
// status stands; a stop on the claiming thread still stops, with its diagnostic.
TEST(FatalDeathTest, AfterTheRunClaimsTheEndOnlyItsOwnThreadStops) {
    EXPECT_EXIT(
        {
            claim_the_end();
            std::thread([] { fatal("late"); }).detach();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            end_process(EXIT_PASSED);
        },
        testing::ExitedWithCode(EXIT_PASSED), "^$");
    EXPECT_EXIT((name_this_thread_main(), claim_the_end(), fatal("failed printing to stdout: x")),
                testing::ExitedWithCode(EXIT_FATAL),
                "\nthread 'main' stopped at .+:\nfailed printing to stdout: x\n$");
}

void allocate_too_much() {
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    ::operator delete(::operator new(huge));
}

TEST(FatalDeathTest, AnAllocationThatFailsIsAFatalStopOnAnyThread) {
    if (test::SANITIZED) GTEST_SKIP() << "the sanitizer's allocator reports a failure itself";
    EXPECT_EXIT((stop_fatally_when_exhausted(), name_this_thread_main(), allocate_too_much()),
                testing::ExitedWithCode(EXIT_FATAL),
                "\nthread 'main' stopped at src/.+:\nmemory allocation failed\n$");
    EXPECT_EXIT((stop_fatally_when_exhausted(), std::thread(allocate_too_much).join()),
                testing::ExitedWithCode(EXIT_FATAL),
                "\nthread '<unnamed>' stopped at .+:\nmemory allocation failed\n$");
}

// A library that allocates without operator new throws std::bad_alloc itself: memory ran out
// all the same.
TEST(FatalDeathTest, AnExceptionThatNothingCatchesIsAFatalStop) {
    const std::pair<void (*)(), const char*> cases[] = {
        {[] { throw std::runtime_error("boom"); }, "\nuncaught exception: boom\n$"},
        {[] { throw std::bad_alloc(); }, "\nmemory allocation failed\n$"},
    };
    for (const auto& [thrower, pattern] : cases) {
        EXPECT_EXIT((stop_fatally_when_exhausted(), std::thread(thrower).join()),
                    testing::ExitedWithCode(EXIT_FATAL), pattern);
    }
}

}  // namespace
}  // namespace murv
