#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "os/posix.hpp"
#include "os/standard_streams.hpp"

namespace murv::os {
namespace {

// In a child, so that this process keeps its streams: with 0 and 2 closed, a new descriptor
// lands above 2, and the held streams still refuse what they were closed for.
TEST(PrepareStandardStreams, KeepsClosedStreamsClosedAndTheirNumbersTaken) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(STDIN_FILENO);
        ::close(STDERR_FILENO);
        prepare_standard_streams();
        int fds[2];
        char byte = 'x';
        const bool sound = ::pipe(fds) == 0 && fds[0] > STDERR_FILENO &&
                           ::write(STDERR_FILENO, &byte, 1) < 0 && errno == EBADF &&
                           ::read(STDIN_FILENO, &byte, 1) < 0 && errno == EBADF;
        ::_exit(sound ? 0 : 1);
    }
    const auto status = wait_for_child(pid);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->success());
}

}  // namespace
}  // namespace murv::os
