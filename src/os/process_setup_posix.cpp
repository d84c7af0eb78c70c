#include <cerrno>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/process_setup.hpp"
#include "os/standard_streams.hpp"
#include "os/thread.hpp"

namespace murv::os {
namespace {

void hold_standard_streams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // Open for the other direction: the stream stays unusable the way it was meant to be.
        // The lowest free number is taken, and those below `fd` are held by now.
        const int placeholder =
            ::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (placeholder >= 0 && placeholder != fd) {
            ::dup3(placeholder, fd, O_CLOEXEC);
            ::close(placeholder);
        }
    }
}

}  // namespace

void prepare_process() {
    hold_standard_streams();
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGCHLD, SIG_DFL);
    // One arena for every thread: a session's reader allocates a few small chunks, and each
    // reader's first would otherwise open an arena of its own, a page or two of each resident
    // per session. Nothing here allocates often enough on two threads at once to wait for it.
    ::mallopt(M_ARENA_MAX, 1);
    install_fatal_platform();
    // Before the stacks' guard, whose error text is allocated, as memory may have run out.
    stop_fatally_when_exhausted();
    if (auto guarded = guard_stacks(); !guarded) {
        fatal(fmt::format("failed to guard the stacks: {}", guarded.error().describe()));
    }
}

}  // namespace murv::os
