// The report's lines and the verdict rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace murv::perf_assert {

inline constexpr std::string_view PASS_LINE = "    通过\n";
inline constexpr std::string_view FAIL_LINE = "    失败：超出预算\n";
inline constexpr std::string_view CLOSING_TEXT = "\n全部通过 ✅\n";

std::string path_line(std::string_view path);
std::string cold_start_line(std::uint64_t runs, std::uint64_t median_ms, std::uint64_t budget_ms);
std::string idle_rss_line(std::uint64_t megabytes, std::uint64_t budget_mb);

// The budget itself passes.
constexpr bool over_budget(std::uint64_t value, std::uint64_t budget) {
    return value > budget;
}

// Writes `text` to standard output at once; a failed write is a fatal stop.
void print(std::string_view text);

// Returns whether `value` is over.
bool print_verdict(std::uint64_t value, std::uint64_t budget);

}  // namespace murv::perf_assert
