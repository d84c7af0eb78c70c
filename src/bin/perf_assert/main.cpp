// perf_assert: asserts the cold-start and idle-memory budgets of murv's release build.
#include <exception>
#include <optional>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>
#include <fmt/format.h>

#include "base/asio.hpp"
#include "base/exit_codes.hpp"
#include "base/fatal.hpp"
#include "cold_start.hpp"
#include "discovery.hpp"
#include "idle_rss.hpp"
#include "os/clock.hpp"
#include "os/process_setup.hpp"
#include "os/system_error.hpp"
#include "report.hpp"

namespace murv::perf_assert {
namespace {

// Ends the process right after its last line, so that nothing can fail once it is out.
asio::awaitable<void> main_sequence() {
    bool failed = false;

    const std::string path = find_release_executable();

    const std::uint64_t median_ms = measure_cold_start(path);
    print(cold_start_line(COLD_START_RUNS, median_ms, COLD_START_BUDGET_MS));
    failed |= print_verdict(median_ms, COLD_START_BUDGET_MS);

    const std::uint64_t idle_mb = co_await measure_idle_rss(pty::native_pty_system());
    // What follows is the run's last word: a stop on a reader thread from here on waits.
    claim_the_end();
    print(idle_rss_line(idle_mb, RSS_BUDGET_MB));
    failed |= print_verdict(idle_mb, RSS_BUDGET_MB);

    if (failed) end_process(EXIT_OVER_BUDGET);
    print(CLOSING_TEXT);
    end_process(EXIT_PASSED);
}

// With its timers ready: a loop that cannot wait is one that cannot be built.
asio::io_context& build_event_loop(std::optional<asio::io_context>& loop) {
    try {
        loop.emplace(1);  // one thread: this one
        [[maybe_unused]] const os::Timer timer(*loop);
    } catch (const boost::system::system_error& error) {
        fatal(fmt::format("Failed building the Runtime: {}", os::error_text(error.code().value())));
    }
    return *loop;
}

}  // namespace
}  // namespace murv::perf_assert

int main() {
    using namespace murv;
    os::prepare_process();
    name_this_thread_main();
    stop_fatally_when_exhausted();

    std::optional<asio::io_context> storage;
    asio::io_context& loop = perf_assert::build_event_loop(storage);
    asio::co_spawn(loop, perf_assert::main_sequence(), [](std::exception_ptr error) {
        // Ends the run as any exception that nothing catches does.
        if (error) std::rethrow_exception(error);
    });
    loop.run();
    fatal("the event loop stopped before the run had ended");
}
