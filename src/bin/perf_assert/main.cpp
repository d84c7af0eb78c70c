// perf_assert: asserts the cold-start and idle-memory budgets of murv's release build.
// It takes no arguments; any given are ignored.
#include <exception>
#include <optional>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "bin/perf_assert/run.hpp"
#include "support/fatal.hpp"
#include "support/platform.hpp"

int main() {
    murv::hold_standard_streams();
    murv::name_this_thread_main();
    murv::ignore_broken_pipe();

    std::optional<boost::asio::io_context> loop;
    try {
        loop.emplace(1);  // one thread: this one
        // Its reactor and timers now, not at the idle check's first wait: a loop that cannot
        // wait (out of descriptors, say) is one that cannot be built.
        [[maybe_unused]] const boost::asio::steady_timer timer(*loop);
    } catch (const std::exception&) {
        murv::fatal("Failed building the Runtime");
    }

    int status = 0;
    boost::asio::co_spawn(*loop, perf_assert::main_sequence(),
                          [&status](std::exception_ptr error, int result) {
                              if (error) std::rethrow_exception(error);
                              status = result;
                          });
    loop->run();
    return status;
}
