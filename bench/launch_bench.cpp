// The cold-start check's own launch-and-wait against a bare posix_spawn + waitpid of the same
// static executable. The two alternate, one pair per iteration, so that the ratio holds while
// the machine's speed drifts.
#include <chrono>
#include <cstdlib>

#include <spawn.h>

#include <benchmark/benchmark.h>

#include "os/posix.hpp"
#include "os/process.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void bare_spawn_and_wait(const char* program) {
    char* argv[] = {const_cast<char*>(program), const_cast<char*>("--version"), nullptr};
    pid_t pid;
    if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) std::abort();
    (void)murv::os::wait_for_child(pid);
}

void LaunchAndWait(benchmark::State& state) {
    const std::string program = TRIVIAL_PATH;
    double tool_seconds = 0;
    double bare_seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto status = murv::os::run_to_exit(program, "--version");
        const auto middle = Clock::now();
        bare_spawn_and_wait(program.c_str());
        const auto end = Clock::now();
        if (!status || !status->success()) state.SkipWithError("the launch failed");
        const double tool = std::chrono::duration<double>(middle - start).count();
        tool_seconds += tool;
        bare_seconds += std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(tool);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["tool_us"] = tool_seconds / n * 1e6;
    state.counters["bare_us"] = bare_seconds / n * 1e6;
    state.counters["ratio"] = tool_seconds / bare_seconds;  // target <= 1.10
}
BENCHMARK(LaunchAndWait)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
