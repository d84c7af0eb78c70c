// Runs a program of the build for an end-to-end test and collects what it did.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/posix.hpp"
#include "test_support.hpp"

extern char** environ;

namespace test {

struct Outcome {
    int exit_code = -1;  // -1 when it did not exit normally
    int signal = 0;
    bool hung = false;  // killed at the launch's time limit
    std::string out{};
    std::string err{};
};

// What the program's standard output is.
enum class Stdout {
    captured,     // a file, read back into Outcome::out
    reader_gone,  // a pipe whose read end is closed
    closed,       // no descriptor 1 at all
    full_device,  // /dev/full: every write fails with "No space left on device"
};

struct Launch {
    std::vector<std::string> args{};
    std::filesystem::path cwd = ".";
    std::vector<std::pair<std::string, std::optional<std::string>>> env{};  // nullopt: removed
    bool env_alone = false;  // `env` is the whole environment, not changes to this process's
    Stdout out = Stdout::captured;
    bool stdin_closed = false;
    bool stray_descriptor = false;                // one more descriptor, open without close-on-exec
    std::optional<rlim_t> descriptor_limit{};     // RLIMIT_NOFILE, soft and hard
    std::optional<rlim_t> address_space_limit{};  // RLIMIT_AS, soft and hard
    std::optional<rlim_t> stack_limit{};          // RLIMIT_STACK, soft and hard
    std::vector<int> ignored_signals{};           // set to SIG_IGN, as a parent may leave them
    bool signals_blocked = false;                 // every signal in the mask
    std::chrono::seconds time_limit{60};          // then it is killed, and counted as hung

    Launch& with_env(std::string name, std::optional<std::string> value) {
        env.emplace_back(std::move(name), std::move(value));
        return *this;
    }
};

inline Outcome run_program(const std::string& program, const Launch& launch = {}) {
    TempDir capture;
    const auto out_path = capture.path() / "out";
    const auto err_path = capture.path() / "err";

    // Everything the child needs is made here: between fork and exec it only makes system calls.
    int out = -1;
    int pipe_fds[2];
    if (launch.out == Stdout::captured)
        out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (launch.out == Stdout::full_device) out = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (launch.out == Stdout::reader_gone && ::pipe2(pipe_fds, O_CLOEXEC) == 0) {
        ::close(pipe_fds[0]);
        out = pipe_fds[1];
    }
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int stray = launch.stray_descriptor ? ::open("/dev/null", O_RDONLY) : -1;
    if ((out < 0 && launch.out != Stdout::closed) || err < 0 ||
        (stray < 0 && launch.stray_descriptor)) {
        return {.err = "the test could not make the program's descriptors"};
    }

    std::vector<std::string> args{program}, env;
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    for (char** entry = environ; !launch.env_alone && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const auto changed = [&](auto& change) { return text.starts_with(change.first + "="); };
        if (std::ranges::none_of(launch.env, changed)) env.emplace_back(text);
    }
    for (const auto& [name, value] : launch.env)
        if (value) env.push_back(name + "=" + *value);
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> all(texts.size() + 1, nullptr);  // ends with a null
        std::ranges::transform(texts, all.begin(), [](auto& text) { return text.data(); });
        return all;
    };
    const auto argv = pointers(args);
    const auto envp = pointers(env);
    const std::string cwd = launch.cwd.string();
    const auto limited = [](int resource, std::optional<rlim_t> limit) {  // no allocation
        const rlimit both{limit.value_or(0), limit.value_or(0)};
        return !limit || ::setrlimit(resource, &both) == 0;
    };

    // Whatever the test runner left open stays out of the program; only the stray one goes in.
    const long open_max = ::sysconf(_SC_OPEN_MAX);
    const int descriptor_end = open_max > 0 ? static_cast<int>(std::min(open_max, 65536L)) : 65536;
    sigset_t mask;
    launch.signals_blocked ? sigfillset(&mask) : sigemptyset(&mask);

    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int fd = STDERR_FILENO + 1; fd < descriptor_end; ++fd)
            if (fd != stray) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        for (const int signal : launch.ignored_signals)
            ::signal(signal, SIG_IGN);
        ::sigprocmask(SIG_SETMASK, &mask, nullptr);
        const bool ready = (out < 0 ? ::close(STDOUT_FILENO) == 0 || errno == EBADF
                                    : ::dup2(out, STDOUT_FILENO) >= 0) &&
                           ::dup2(err, STDERR_FILENO) >= 0 &&
                           (!launch.stdin_closed || ::close(STDIN_FILENO) == 0 || errno == EBADF) &&
                           ::chdir(cwd.c_str()) == 0 &&
                           limited(RLIMIT_NOFILE, launch.descriptor_limit) &&
                           limited(RLIMIT_AS, launch.address_space_limit) &&
                           limited(RLIMIT_STACK, launch.stack_limit);
        if (!ready) ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    for (const int fd : {out, err, stray})
        if (fd >= 0) ::close(fd);
    Outcome outcome;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + launch.time_limit;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            outcome.hung = true;
            ::kill(pid, SIGKILL);
            (void)murv::os::retry_interrupted([&] { return ::waitpid(pid, &status, 0); });
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    if (launch.out == Stdout::captured) outcome.out = read_file(out_path);
    outcome.err = read_file(err_path);
    return outcome;
}

}  // namespace test
