// The start of a child: a clone sharing this process's memory until it execs, so that no page
// tables are copied. It reports a failure through a close-on-exec pipe, which the exec closes.
#include "os/posix.hpp"

#include <climits>

#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include "os/system_error.hpp"

namespace murv::os {
namespace {

struct ChildStart {
    int (*exec)(const void*);
    const void* argument;
    int report_fd;
    int descriptor_limit;  // where marking descriptors close-on-exec may stop
};

// Runs in the child: async-signal-safe calls alone, as in any child of a threaded process.
int run_child(void* start_address) {
    const ChildStart& start = *static_cast<const ChildStart*>(start_address);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &default_action, nullptr);
    }
    ::sigprocmask(SIG_SETMASK, &default_action.sa_mask, nullptr);  // an empty mask
    // Kept clear of 0, 1 and 2, which `exec` may replace.
    int report_fd = start.report_fd;
    if (report_fd <= STDERR_FILENO) report_fd = ::fcntl(report_fd, F_DUPFD_CLOEXEC, 3);
    // What this process inherited must not reach the program; before Linux 5.9, one by one.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) < 0) {
        for (int fd = 3; fd < start.descriptor_limit; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    const int step = start.exec(start.argument);
    const ChildFailure failure{step, errno};
    (void)!::write(report_fd, &failure, sizeof failure);
    ::_exit(127);
}

// Under ThreadSanitizer a fork: a clone's instrumented calls would rewrite this thread's state.
#if defined(__SANITIZE_THREAD__)
constexpr bool CHILD_SHARES_MEMORY = false;
#else
constexpr bool CHILD_SHARES_MEMORY = true;
#endif

constexpr std::size_t CHILD_STACK_SIZE = 64 * 1024;

// Mapped apart from the heap, so that the pages the child writes go back to the system with it
// rather than stay resident in a freed block that a later allocation takes over.
using ChildStack = Owned<FreedBy<void*, [](void* base) { ::munmap(base, CHILD_STACK_SIZE); }>>;

// Waits until the child has exec'd or exited: a third faster than a fork. -1 with errno set.
pid_t clone_child(ChildStart& start) {
    if constexpr (CHILD_SHARES_MEMORY) {
        void* base = ::mmap(nullptr, CHILD_STACK_SIZE, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) return -1;
        const ChildStack stack(base);
        // The last child's frames, which never returned, left AddressSanitizer's marks here.
        ASAN_UNPOISON_MEMORY_REGION(base, CHILD_STACK_SIZE);
        return ::clone(run_child, static_cast<std::byte*>(base) + CHILD_STACK_SIZE,
                       CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
    }
    const pid_t pid = ::fork();
    if (pid == 0) run_child(&start);
    return pid;
}

}  // namespace

Result<std::expected<pid_t, ChildFailure>> start_child(int (*exec)(const void*),
                                                       const void* argument) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) < 0)
        return std::unexpected(failure("make the pipe that reports the start", errno));
    UniqueFd report_read(pipe_fds[0]);
    UniqueFd report_write(pipe_fds[1]);
    const long limit = ::sysconf(_SC_OPEN_MAX);
    ChildStart start{exec, argument, report_write.get(),
                     limit > 0 && limit < INT_MAX ? static_cast<int>(limit) : INT_MAX};

    // No signal handler may run in the child before it has reset them all.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = clone_child(start);
    const int start_error = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) return std::unexpected(failure("start the child", start_error));

    // The pipe closes at the exec; a report before that means the exec did not happen.
    report_write.reset();
    ChildFailure report;
    const ssize_t n =
        retry_interrupted([&] { return ::read(report_read.get(), &report, sizeof report); });
    if (n == 0) return pid;
    if (n < 0) {
        // Whether the program runs is unknown; it is no one's but this call's yet: end it.
        const int error = errno;
        ::kill(pid, SIGKILL);
        (void)wait_for_child(pid);
        return std::unexpected(failure("read the report of the child's start", error));
    }
    (void)wait_for_child(pid);  // it has exited, or is about to
    if (n != static_cast<ssize_t>(sizeof report)) {
        return std::unexpected(Error("the child ended before it could run the program"));
    }
    return std::expected<pid_t, ChildFailure>(std::unexpect, report);
}

Result<ExitStatus> wait_for_child(pid_t pid) {
    int status = 0;
    if (retry_interrupted([&] { return ::waitpid(pid, &status, 0); }) < 0) {
        return std::unexpected(system_error(errno));
    }
    if (WIFSIGNALED(status)) return ExitStatus::killed_by_signal();
    return ExitStatus::exited(WEXITSTATUS(status));
}

}  // namespace murv::os
