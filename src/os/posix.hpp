// Pieces the POSIX files share: an owned descriptor, retrying a call that a signal
// interrupted, and starting and waiting for a child. POSIX only.
#pragma once

#include <cerrno>
#include <expected>
#include <utility>

#include <sys/types.h>
#include <unistd.h>

#include "base/error.hpp"
#include "os/process.hpp"

namespace murv::os {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// Calls `call` until it does not fail with EINTR, and returns what it returned last. For calls
// that fail with -1 and errno.
template <class Call>
auto retry_interrupted(Call&& call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// What a child reports when its program could not be run: the step that failed, as its caller
// numbers them, and the error number.
struct ChildFailure {
    int step;
    int error;
};

// Starts a child as a terminal starts a program: every signal at its default disposition, an
// empty signal mask, every descriptor but the standard three close-on-exec. It then runs
// `exec(argument)`, which makes only async-signal-safe calls (see posix.cpp) and returns only
// when its program could not be run: the step that failed, with errno set. Returns once the
// child has exec'd: its pid; or what it reported instead, once it is reaped; or the error, in
// words, of a child that cannot be started.
Result<std::expected<pid_t, ChildFailure>> start_child(int (*exec)(const void*),
                                                       const void* argument);

// Waits until child `pid` has exited and reaps it. The error is the system's.
Result<ExitStatus> wait_for_child(pid_t pid);

}  // namespace murv::os
