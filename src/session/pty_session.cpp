#include "session/pty_session.hpp"

#include "os/platform.hpp"

namespace murv::session {

std::string shell_from(std::span<const char* const> variables) {
    for (const char* variable : variables) {
        if (auto read = os::read_env(variable); read.status == os::EnvStatus::present) {
            return std::move(read.value);
        }
    }
    return os::fallback_shell();
}

namespace {

// Unless this process's own value is present, valid and not empty, which is then inherited.
void default_unless_inherited(pty::ShellCommand& command, const char* name, const char* fallback) {
    if (!os::read_env(name).present_and_non_empty()) command.set_env(name, fallback);
}

}  // namespace

Result<PtySession> PtySession::open(pty::PtySystem& system, std::optional<std::string> shell,
                                    std::optional<std::string> cwd, std::uint16_t cols,
                                    std::uint16_t rows) {
    auto pair = system.openpty(pty::PtySize{.rows = rows, .cols = cols});
    if (!pair) return std::unexpected(Error("openpty 失败", std::move(pair.error())));

    pty::ShellCommand command(shell ? std::move(*shell)
                                    : shell_from(os::shell_variables(os::ShellOf::user)));
    if (cwd) {
        command.set_cwd(std::move(*cwd));
    } else if (auto profile = os::profile_directory()) {
        command.set_cwd(std::move(*profile));
    }
    command.set_env("TERM", "xterm-256color");
    command.set_env("MURV", "1");
    default_unless_inherited(command, "LANG", "en_US.UTF-8");
    // A codeset alone, as macOS's terminals set it; glibc knows no locale of that name, so a
    // shell there may warn that it cannot set it and keep the C character type.
    default_unless_inherited(command, "LC_CTYPE", "UTF-8");

    auto child = pair->slave->spawn_command(std::move(command));
    if (!child) return std::unexpected(Error("spawn shell 子进程失败", std::move(child.error())));
    const auto child_pid = (*child)->process_id();
    pair->slave.reset();  // the master is now the terminal's only holder

    auto writer = pair->master->take_writer();
    if (!writer) return std::unexpected(Error("拿不到 PTY writer", std::move(writer.error())));
    auto reader = pair->master->try_clone_reader();
    if (!reader) return std::unexpected(Error("拿不到 PTY reader", std::move(reader.error())));

    auto [output_tx, output_rx] = make_output_channel();
    auto output_ring = std::make_shared<OutputRing>();
    start_output_reader(std::move(*reader), output_ring, std::move(output_tx), std::move(*child));

    return PtySession{
        .id = SessionId::generate(),
        .child_pid = child_pid,
        .output_ring = std::move(output_ring),
        .master =
            std::make_shared<AsyncMutex<std::unique_ptr<pty::MasterPty>>>(std::move(pair->master)),
        .output_rx = AsyncMutex<OutputReceiver>(std::move(output_rx)),
        .writer = std::make_shared<AsyncMutex<std::unique_ptr<pty::Writer>>>(std::move(*writer)),
    };
}

}  // namespace murv::session
