#include "idle_rss.hpp"

#include "os/platform.hpp"
#include "os/resident_memory.hpp"
#include "session/manager.hpp"

namespace murv::perf_assert {

std::string idle_session_shell() {
    auto read = os::read_env(os::system_shell_variable());
    if (read.status == os::EnvStatus::present) return std::move(read.value);
    return os::fallback_shell();
}

std::uint64_t resident_bytes_or_stop() {
    auto bytes = os::own_resident_bytes();
    if (!bytes) {
        fatal(fmt::format("读取 perf_assert 自身的常驻内存失败: {}", bytes.error().describe()));
    }
    return *bytes;
}

asio::awaitable<std::uint64_t> measure_idle_rss() {
    session::SessionManager manager;
    co_return co_await idle_rss_of(manager);
}

}  // namespace murv::perf_assert
