// The kernel hangs a terminal up only when the last descriptor of its master closes, and every
// reader holds a duplicate. So a released master sends the hang-up's signals itself, then closes
// a pipe that each reader watches: each drops its duplicate, and the last one's close ends the
// shell's reads, also in a shell that deferred the signal (bash, while it starts).
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

// Reads the terminal until its master is released, then lets its descriptor go.
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
