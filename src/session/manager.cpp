#include "session/manager.hpp"

namespace murv::session {

boost::asio::awaitable<Result<SessionId>> SessionManager::open_session(
    std::optional<std::string> shell, std::optional<std::string> cwd, std::uint16_t cols,
    std::uint16_t rows) {
    auto session = PtySession::open(*system_, std::move(shell), std::move(cwd), cols, rows);
    if (!session) co_return std::unexpected(std::move(session.error()));
    const SessionId id = session->id;

    auto sessions = co_await sessions_.lock();
    sessions->insert_or_assign(id, std::make_shared<PtySession>(std::move(*session)));
    co_return id;
}

boost::asio::awaitable<Result<void>> SessionManager::close_session(SessionId id) {
    auto sessions = co_await sessions_.lock();
    auto entry = sessions->extract(id);
    if (entry.empty()) co_return std::unexpected(Error("session 不存在: " + id.to_string()));
    entry.mapped().reset();  // the last reference: the teardown runs inside the lock
    co_return Result<void>{};
}

}  // namespace murv::session
