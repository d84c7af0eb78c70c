#include "report.hpp"

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/standard_streams.hpp"

namespace murv::perf_assert {

std::string path_line(std::string_view path) {
    return fmt::format("二进制路径：{}\n", path);
}

std::string cold_start_line(std::uint64_t runs, std::uint64_t median_ms, std::uint64_t budget_ms) {
    return fmt::format("[1/2] 冷启动中位数（{} 次）：{} ms （预算 < {} ms）\n", runs, median_ms,
                       budget_ms);
}

std::string idle_rss_line(std::uint64_t megabytes, std::uint64_t budget_mb) {
    return fmt::format("[2/2] 5 个 PTY session 空闲 RSS：{} MB （预算 < {} MB）\n", megabytes,
                       budget_mb);
}

void print(std::string_view text) {
    if (auto written = os::write_standard(os::StandardStream::output, text); !written) {
        fatal(fmt::format("failed printing to stdout: {}", written.error().message()));
    }
}

bool print_verdict(std::uint64_t value, std::uint64_t budget) {
    const bool failed = over_budget(value, budget);
    print(failed ? FAIL_LINE : PASS_LINE);
    return failed;
}

}  // namespace murv::perf_assert
