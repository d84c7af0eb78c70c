// Pieces the POSIX files share: an owned descriptor, retrying, starting and waiting for a child.
#pragma once

#include <cerrno>
#include <expected>
#include <utility>

#include <sys/types.h>
#include <unistd.h>

#include "base/error.hpp"
#include "base/owned.hpp"
#include "os/process.hpp"

namespace murv::os {

struct FdTraits {
    using Value = int;
    static constexpr int empty = -1;
    static bool none(int fd) { return fd < 0; }
    static void free(int fd) { ::close(fd); }
};
using UniqueFd = Owned<FdTraits>;

// For calls that fail with -1 and errno.
template <class Call>
auto retry_interrupted(Call&& call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// The step that failed, as the caller numbers them, and errno.
struct ChildFailure {
    int step;
    int error;
};

// Starts a child as a terminal does (default signals, empty mask, only 0-2 inherited) that runs
// `exec(argument)`, which returns only on failure. Its pid once it has exec'd, or its report.
Result<std::expected<pid_t, ChildFailure>> start_child(int (*exec)(const void*),
                                                       const void* argument);

// Waits until child `pid` has exited and reaps it. The error is the system's.
Result<ExitStatus> wait_for_child(pid_t pid);

}  // namespace murv::os
