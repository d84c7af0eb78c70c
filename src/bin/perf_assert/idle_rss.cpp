#include "bin/perf_assert/idle_rss.hpp"

#include "session/manager.hpp"
#include "support/platform.hpp"

namespace perf_assert {

std::string idle_session_shell() {
    auto read = murv::read_env(murv::system_shell_variable());
    if (read.status == murv::EnvStatus::present) return std::move(read.value);
    return murv::fallback_shell();
}

std::uint64_t resident_bytes_or_stop() {
    auto bytes = murv::own_resident_bytes();
    if (!bytes) {
        murv::fatal(
            fmt::format("读取 perf_assert 自身的常驻内存失败: {}", bytes.error().describe()));
    }
    return *bytes;
}

boost::asio::awaitable<std::uint64_t> measure_idle_rss() {
    murv::session::SessionManager manager;
    co_return co_await idle_rss_of(manager, IDLE_WAIT, CLOSE_GRACE);
}

}  // namespace perf_assert
