#include <chrono>
#include <csignal>
#include <thread>

#include <sys/mman.h>

#include <gtest/gtest.h>

#include "base/exit_codes.hpp"
#include "base/fatal.hpp"
#include "os/standard_streams.hpp"
#include "os/thread.hpp"
#include "sanitized.hpp"

namespace murv::os {
namespace {

volatile int never = -1;

// Goes deeper until the stack runs out; the frames cannot be folded away.
[[gnu::noinline]] int recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return depth == never ? 0 : recurse(depth + 1) + frame[0];
}

void guarded(void (*run)()) {
    install_fatal_platform();
    name_this_thread_main();
    if (guard_stacks()) run();
}

// A fault anywhere else, and the signal sent rather than raised by a fault, still end the
// process by the signal.
TEST(GuardStacksDeathTest, AStackThatRunsOutIsAFatalStopAndAnyOtherFaultItsSignal) {
    if (test::SANITIZED) GTEST_SKIP() << "the sanitizer's own handler owns the signal stack";
    EXPECT_EXIT(guarded([] { recurse(0); }), testing::ExitedWithCode(EXIT_FATAL),
                "\nthread 'main' stopped at src/os/thread_posix\\.cpp:.+:\n"
                "thread 'main' has overflowed its stack\n$");
    EXPECT_EXIT(guarded([] {
                    (void)start_detached_thread([] { recurse(0); }, 256 << 10);
                    std::this_thread::sleep_for(std::chrono::seconds(30));
                }),
                testing::ExitedWithCode(EXIT_FATAL),
                "\nthread '<unnamed>' stopped at src/os/thread_posix\\.cpp:.+:\n"
                "thread '<unnamed>' has overflowed its stack\n$");
    EXPECT_EXIT(guarded([] {
                    (void)*static_cast<volatile char*>(
                        ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
                }),
                testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(guarded([] { ::raise(SIGBUS); }), testing::KilledBySignal(SIGBUS), "");
}

}  // namespace
}  // namespace murv::os
