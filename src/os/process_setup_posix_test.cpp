#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "os/posix.hpp"
#include "os/process_setup.hpp"

namespace murv::os {
namespace {

// In a child, so that this process keeps its streams and dispositions: started with 0 and 2
// closed and SIGCHLD ignored, as some parents leave a program, it afterwards has a new
// descriptor land above 2, the held streams still refuse what they were closed for, and its
// own child stays there to be waited for.
TEST(PrepareProcess, KeepsClosedStreamsClosedAndChildrenItsOwnToWaitFor) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(STDIN_FILENO);
        ::close(STDERR_FILENO);
        ::signal(SIGCHLD, SIG_IGN);
        prepare_process();
        int fds[2];
        char byte = 'x';
        const bool streams = ::pipe(fds) == 0 && fds[0] > STDERR_FILENO &&
                             ::write(STDERR_FILENO, &byte, 1) < 0 && errno == EBADF &&
                             ::read(STDIN_FILENO, &byte, 1) < 0 && errno == EBADF;
        const pid_t grandchild = ::fork();
        if (grandchild == 0) ::_exit(7);
        int status = 0;
        const bool waited = ::waitpid(grandchild, &status, 0) == grandchild && WIFEXITED(status) &&
                            WEXITSTATUS(status) == 7;
        ::_exit(streams && waited ? 0 : 1);
    }
    const auto status = wait_for_child(pid);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->success());
}

}  // namespace
}  // namespace murv::os
