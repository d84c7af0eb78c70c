// A released master closes its terminal, as closing a terminal window does. But the readers of
// the terminal's output hold duplicates of the master's descriptor (a reader must stay usable
// without the master), and the kernel hangs a terminal up only when the last descriptor of its
// master closes: closing the master's own would leave the terminal open and its shell running.
//
// So the hang-up has two parts. First the signals that a hang-up sends, SIGHUP then SIGCONT, go
// to the terminal's foreground process group and to its session leader. Then the master closes
// the write end of a pipe whose read end every reader watches beside the terminal: each reader
// drops its duplicate and reports the end of the output. Once the last one is gone, the kernel
// hangs the terminal up for good and the shell's reads end, also for a shell that was not yet
// ready for the signal (bash defers one that arrives while it starts).
#include "pty/hangup_posix.hpp"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "os/system_error.hpp"

namespace murv::pty {
namespace {

using os::failure;
using os::UniqueFd;

// Reads the terminal until its master is released: then it lets its own descriptor go, so
// that the terminal can close even while this reader's owner still holds it.
class FdReader final : public Reader {
  public:
    FdReader(UniqueFd fd, UniqueFd master_released)
        : fd_(std::move(fd)), master_released_(std::move(master_released)) {}

    // No retry on EINTR: the caller decides what any error means.
    Result<std::size_t> read(std::span<std::byte> buffer) override {
        if (!fd_) return 0;
        pollfd watched[] = {{fd_.get(), POLLIN, 0}, {master_released_.get(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            return std::unexpected(failure("wait for the terminal", errno));
        }
        if (watched[1].revents != 0) {
            fd_.reset();
            return 0;
        }
        const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
        if (n < 0) return std::unexpected(failure("read from the terminal", errno));
        return static_cast<std::size_t>(n);
    }

  private:
    UniqueFd fd_;
    UniqueFd master_released_;  // the read end of the hang-up's pipe
};

}  // namespace

Result<HangUp> HangUp::make() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) < 0)
        return std::unexpected(failure("make the hang-up pipe", errno));
    return HangUp(UniqueFd(ends[0]), UniqueFd(ends[1]));
}

Result<std::unique_ptr<Reader>> HangUp::reader_of(UniqueFd terminal) const {
    UniqueFd released(::fcntl(released_read_.get(), F_DUPFD_CLOEXEC, 0));
    if (!released) return std::unexpected(failure("duplicate the hang-up pipe", errno));
    return std::make_unique<FdReader>(std::move(terminal), std::move(released));
}

void HangUp::hang_up(int master) {
    const pid_t foreground = ::tcgetpgrp(master);
    const pid_t session = ::tcgetsid(master);
    if (foreground > 0) {
        ::killpg(foreground, SIGHUP);
        ::killpg(foreground, SIGCONT);
    }
    if (session > 0 && session != foreground) {
        ::kill(session, SIGHUP);
        ::kill(session, SIGCONT);
    }
    released_write_.reset();
}

}  // namespace murv::pty
