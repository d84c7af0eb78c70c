#include "os/posix.hpp"

#include <sys/wait.h>

#include "os/system_error.hpp"

namespace murv::os {

Result<ExitStatus> wait_for_child(pid_t pid) {
    int status = 0;
    if (retry_interrupted([&] { return ::waitpid(pid, &status, 0); }) < 0) {
        return std::unexpected(system_error(errno));
    }
    if (WIFSIGNALED(status)) return ExitStatus::killed_by_signal();
    return ExitStatus::exited(WEXITSTATUS(status));
}

}  // namespace murv::os
