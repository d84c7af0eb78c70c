#include "cold_start.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/process.hpp"

namespace murv::perf_assert {

std::uint64_t whole_milliseconds(os::MonotonicClock::duration elapsed) {
    if (elapsed < elapsed.zero()) return 0;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

std::uint64_t median_of(Samples samples) {
    std::sort(samples.begin(), samples.end());
    return samples[COLD_START_RUNS / 2];  // of ten, the upper middle one: a sample, not a mean
}

std::uint64_t measure_cold_start(const std::string& path) {
    const std::string argument = "--version";
    Samples samples{};

    (void)os::run_to_exit(path, argument);  // warm-up: neither timed nor looked at

    for (std::uint64_t& sample : samples) {
        const auto start = os::MonotonicClock::now();
        const auto status = os::run_to_exit(path, argument);
        const auto end = os::MonotonicClock::now();
        if (!status) fatal(fmt::format("启动 murv 失败: {}", status.error().describe()));
        if (!status->success()) fatal("assertion failed: status.success()");
        sample = whole_milliseconds(end - start);
    }
    return median_of(samples);
}

}  // namespace murv::perf_assert
