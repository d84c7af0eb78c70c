#include "bin/perf_assert/run.hpp"

#include <string>

#include "bin/perf_assert/cold_start.hpp"
#include "bin/perf_assert/discovery.hpp"
#include "bin/perf_assert/idle_rss.hpp"
#include "bin/perf_assert/report.hpp"

namespace perf_assert {

boost::asio::awaitable<int> main_sequence() {
    bool failed = false;

    const std::string path = find_release_executable();

    const std::uint64_t median_ms = measure_cold_start(path);
    print(cold_start_line(COLD_START_RUNS, median_ms, COLD_START_BUDGET_MS));
    failed |= print_verdict(median_ms, COLD_START_BUDGET_MS);

    // Runs even when the cold start is over budget.
    const std::uint64_t idle_mb = co_await measure_idle_rss();
    print(idle_rss_line(idle_mb, RSS_BUDGET_MB));
    failed |= print_verdict(idle_mb, RSS_BUDGET_MB);

    if (failed) co_return 1;
    print(CLOSING_TEXT);
    co_return 0;
}

}  // namespace perf_assert
