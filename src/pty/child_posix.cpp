// The start of a program on a terminal. Everything the child needs is prepared here, in an
// ExecPlan, before it starts: between its start and its exec the child of a multi-threaded
// process may only make async-signal-safe calls, so it allocates nothing and takes no lock.
// On Linux it starts as a clone that shares this process's memory (on a stack of its own)
// until it execs or exits, while the starting thread waits: no page tables are copied.
//
// The child reports a failure through a close-on-exec pipe: the pipe closes empty at the exec,
// and holds a ChildFailure when the exec (or what comes before it) failed.
#include "pty/child_posix.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fmt/format.h>

#include "os/posix.hpp"
#include "os/system_error.hpp"

namespace murv::pty {
namespace {

using os::failure;
using os::retry_interrupted;
using os::UniqueFd;

class ProcessChild final : public Child {
  public:
    explicit ProcessChild(pid_t pid) : pid_(pid) {}

    std::optional<std::uint32_t> process_id() const override {
        return static_cast<std::uint32_t>(pid_);
    }

    Result<os::ExitStatus> wait() override {
        auto status = os::wait_for_child(pid_);
        if (!status) return std::unexpected(Error("wait for the child", std::move(status.error())));
        return status;
    }

  private:
    pid_t pid_;
};

// What the child reports through its pipe when it cannot exec the program.
struct ChildFailure {
    enum Stage : int { controlling_terminal, working_directory, exec } stage;
    int error;
};

struct ExecPlan {
    std::vector<std::string> candidates;  // the program's paths to try, in order
    std::vector<std::string> variables;   // NAME=value
    std::vector<char*> envp;
    std::array<char*, 2> argv{};
    const char* cwd = nullptr;
    struct sigaction default_action {};
    sigset_t empty_mask;
    int descriptor_limit = 0;  // where marking descriptors close-on-exec may stop

    explicit ExecPlan(const ShellCommand& command) {
        argv[0] = const_cast<char*>(command.program().c_str());
        for (const auto& [name, value] : command.environment()) {
            variables.push_back(name + "=" + value);
        }
        for (auto& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (command.cwd()) cwd = command.cwd()->c_str();
        find_candidates(command);
        default_action.sa_handler = SIG_DFL;
        sigemptyset(&default_action.sa_mask);
        sigemptyset(&empty_mask);
        const long limit = ::sysconf(_SC_OPEN_MAX);
        descriptor_limit = limit > 0 && limit < INT_MAX ? static_cast<int>(limit) : INT_MAX;
    }

    // A program with a slash is a path; one without is looked for on the command's PATH.
    void find_candidates(const ShellCommand& command) {
        const std::string& program = command.program();
        if (program.find('/') != std::string::npos) {
            candidates.push_back(program);
            return;
        }
        if (program.empty()) return;  // found nowhere: "No such file or directory"
        const auto path = command.environment().find("PATH");
        std::string_view dirs = path != command.environment().end()
                                    ? std::string_view(path->second)
                                    : "/usr/local/bin:/usr/bin:/bin";
        for (;;) {
            const auto colon = dirs.find(':');
            const std::string_view dir = dirs.substr(0, colon);
            // An empty entry is the working directory.
            candidates.push_back(dir.empty() ? program : fmt::format("{}/{}", dir, program));
            if (colon == std::string_view::npos) break;
            dirs.remove_prefix(colon + 1);
        }
    }
};

[[noreturn]] void report_and_exit(int report_fd, ChildFailure::Stage stage, int error) {
    const ChildFailure failure{stage, error};
    (void)!::write(report_fd, &failure, sizeof failure);
    ::_exit(127);
}

// Runs in the child, before it execs the program.
[[noreturn]] void exec_in_child(const ExecPlan& plan, int slave, int report_fd) {
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            ::sigaction(signal, &plan.default_action, nullptr);
        }
    }
    ::sigprocmask(SIG_SETMASK, &plan.empty_mask, nullptr);

    // Keep the two descriptors clear of 0, 1 and 2 before those are replaced.
    if (report_fd <= STDERR_FILENO) report_fd = ::fcntl(report_fd, F_DUPFD_CLOEXEC, 3);
    if (slave <= STDERR_FILENO) slave = ::fcntl(slave, F_DUPFD_CLOEXEC, 3);

    if (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) < 0) {
        report_and_exit(report_fd, ChildFailure::controlling_terminal, errno);
    }
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::dup2(slave, fd) < 0)
            report_and_exit(report_fd, ChildFailure::controlling_terminal, errno);
    }
    // Descriptors this process inherited without close-on-exec must not reach the program.
    // A kernel older than close_range (Linux 5.9) has them marked one by one.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) < 0) {
        for (int fd = 3; fd < plan.descriptor_limit; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }

    if (plan.cwd != nullptr && ::chdir(plan.cwd) < 0) {
        report_and_exit(report_fd, ChildFailure::working_directory, errno);
    }
    // As execvp: go on past entries where the program is missing, remember a denied one.
    int error = ENOENT;
    bool denied = false;
    for (const std::string& candidate : plan.candidates) {
        ::execve(candidate.c_str(), plan.argv.data(), plan.envp.data());
        error = errno;
        if (error == EACCES) {
            denied = true;
        } else if (error != ENOENT && error != ENOTDIR && error != ESTALE) {
            break;
        }
    }
    report_and_exit(report_fd, ChildFailure::exec, denied && error != ENOEXEC ? EACCES : error);
}

// What the child is started with.
struct ChildStart {
    const ExecPlan* plan;
    int slave;
    int report_fd;
};

int run_child(void* start) {
    const auto* child = static_cast<const ChildStart*>(start);
    exec_in_child(*child->plan, child->slave, child->report_fd);
}

// Under ThreadSanitizer the child is a fork: its instrumented calls (sigaction above all) would
// run on this thread's sanitizer state and rewrite it in shared memory.
#if defined(__SANITIZE_THREAD__)
constexpr bool CHILD_SHARES_MEMORY = false;
#else
constexpr bool CHILD_SHARES_MEMORY = true;
#endif

// The stack of a child that shares this process's memory: mapped apart from the heap, so that
// the pages the child writes go back to the system with it, instead of staying resident in a
// freed heap block that a later allocation (a session's ring, say) takes over untouched.
class ChildStack {
  public:
    static constexpr std::size_t SIZE = 64 * 1024;

    ChildStack()
        : base_(::mmap(nullptr, SIZE, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0)) {
        // Under AddressSanitizer: the last child's frames, which never returned, left their
        // marks on this address range, where the mapping is made again. (Nothing elsewhere.)
        if (base_ != MAP_FAILED) ASAN_UNPOISON_MEMORY_REGION(base_, SIZE);
    }
    ~ChildStack() {
        if (base_ != MAP_FAILED) ::munmap(base_, SIZE);
    }
    ChildStack(const ChildStack&) = delete;
    ChildStack& operator=(const ChildStack&) = delete;

    explicit operator bool() const { return base_ != MAP_FAILED; }
    void* top() const { return static_cast<std::byte*>(base_) + SIZE; }

  private:
    void* base_;
};

// Starts the child; this thread waits until it has exec'd or exited, which makes an open about a
// third faster than a fork. Returns the pid, or -1 with errno set.
pid_t start_child(ChildStart& start) {
    if constexpr (CHILD_SHARES_MEMORY) {
        const ChildStack stack;
        if (!stack) return -1;
        return ::clone(run_child, stack.top(), CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
    }
    const pid_t pid = ::fork();
    if (pid == 0) run_child(&start);
    return pid;
}

Error spawn_failure(const ShellCommand& command, ChildFailure reported) {
    switch (reported.stage) {
        case ChildFailure::controlling_terminal:
            return failure("cannot give the terminal to the child", reported.error);
        case ChildFailure::working_directory:
            return failure(fmt::format("cannot change directory to \"{}\"", *command.cwd()),
                           reported.error);
        case ChildFailure::exec:
            break;
    }
    return failure(fmt::format("cannot run \"{}\"", command.program()), reported.error);
}

}  // namespace

Result<std::unique_ptr<Child>> spawn_on_terminal(int slave, const ShellCommand& command) {
    const ExecPlan plan(command);

    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) < 0)
        return std::unexpected(failure("make the pipe that reports the start", errno));
    UniqueFd report_read(pipe_fds[0]);
    UniqueFd report_write(pipe_fds[1]);

    // No signal handler may run in the child before it has reset them all.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    ChildStart start{&plan, slave, report_write.get()};
    const pid_t pid = start_child(start);
    const int fork_error = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) return std::unexpected(failure("start the child", fork_error));

    // The pipe closes at the exec; a report before that means the exec did not happen.
    report_write.reset();
    ChildFailure report;
    const ssize_t n =
        retry_interrupted([&] { return ::read(report_read.get(), &report, sizeof report); });
    if (n == 0) return std::make_unique<ProcessChild>(pid);
    if (n < 0) {
        // Whether the program runs is unknown, and a shell that does would wait for input for
        // ever. It is no one's but this call's yet: end it and reap it.
        const int error = errno;
        ::kill(pid, SIGKILL);
        (void)os::wait_for_child(pid);
        return std::unexpected(failure("read the report of the child's start", error));
    }

    (void)os::wait_for_child(pid);  // it has exited, or is about to
    if (n != static_cast<ssize_t>(sizeof report)) {
        return std::unexpected(Error("the child ended before it could run the program"));
    }
    return std::unexpected(spawn_failure(command, report));
}

}  // namespace murv::pty
