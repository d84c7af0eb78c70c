#include "idle_rss.hpp"

#include <optional>
#include <vector>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/clock.hpp"
#include "os/platform.hpp"
#include "os/resident_memory.hpp"
#include "session/manager.hpp"

namespace murv::perf_assert {

std::string idle_session_shell() {
    return session::shell_from(os::shell_variables(os::ShellOf::system));
}

asio::awaitable<std::uint64_t> measure_idle_rss(pty::PtySystem& layer) {
    session::SessionManager sessions(layer);
    std::vector<session::SessionId> ids;
    ids.reserve(IDLE_SESSION_COUNT);
    for (std::size_t i = 0; i < IDLE_SESSION_COUNT; ++i) {
        auto opened = co_await sessions.open_session(idle_session_shell(), std::nullopt, IDLE_COLS,
                                                     IDLE_ROWS);
        if (!opened) fatal(fmt::format("开 session 失败: {}", opened.error().describe()));
        ids.push_back(*opened);
    }

    co_await os::sleep_for(IDLE_WAIT);
    const auto resident = os::own_resident_bytes();  // a failed reading is a stop, never a 0
    if (!resident) {
        fatal(fmt::format("读取 perf_assert 自身的常驻内存失败: {}", resident.error().describe()));
    }

    for (const session::SessionId& id : ids) {
        (void)co_await sessions.close_session(id);  // an error changes nothing here
    }
    ids = {};

    // Time for the closed sessions' shells to exit and their readers to end before the report.
    co_await os::sleep_for(CLOSE_GRACE);
    co_return whole_megabytes(*resident);
}

}  // namespace murv::perf_assert
