// The start of a program on a terminal, prepared in full before the child starts.
#include "pty/child_posix.hpp"

#include <array>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "os/posix.hpp"
#include "os/system_error.hpp"

namespace murv::pty {
namespace {

using os::failure;

enum Step : int { controlling_terminal, working_directory, exec };

struct ExecPlan {
    std::vector<std::string> candidates;  // the program's paths to try, in order
    std::vector<std::string> variables;   // NAME=value
    std::vector<char*> envp;
    std::array<char*, 2> argv{};
    const char* cwd = nullptr;
    int slave;  // the terminal's slave side

    ExecPlan(const ShellCommand& command, int slave) : slave(slave) {
        argv[0] = const_cast<char*>(command.program().c_str());
        for (const auto& [name, value] : command.environment()) {
            variables.push_back(name + "=" + value);
        }
        for (auto& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (command.cwd()) cwd = command.cwd()->c_str();
        find_candidates(command);
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

// Runs in the child, before it execs the program; returns the step that failed.
int exec_in_child(const void* argument) {
    const auto* plan = static_cast<const ExecPlan*>(argument);
    // Kept clear of 0, 1 and 2 before those are replaced.
    const int slave =
        plan->slave <= STDERR_FILENO ? ::fcntl(plan->slave, F_DUPFD_CLOEXEC, 3) : plan->slave;
    if (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) < 0) return controlling_terminal;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::dup2(slave, fd) < 0) return controlling_terminal;
    }
    if (plan->cwd != nullptr && ::chdir(plan->cwd) < 0) return working_directory;
    // As execvp: go on past entries where the program is missing, remember a denied one.
    int error = ENOENT;
    bool denied = false;
    for (const std::string& candidate : plan->candidates) {
        ::execve(candidate.c_str(), plan->argv.data(), plan->envp.data());
        error = errno;
        if (error == EACCES) {
            denied = true;
        } else if (error != ENOENT && error != ENOTDIR && error != ESTALE) {
            break;
        }
    }
    errno = denied && error != ENOEXEC ? EACCES : error;
    return exec;
}

Error spawn_failure(const ShellCommand& command, os::ChildFailure reported) {
    if (reported.step == controlling_terminal) {
        return failure("cannot give the terminal to the child", reported.error);
    }
    if (reported.step == working_directory) {
        return failure(fmt::format("cannot change directory to \"{}\"", *command.cwd()),
                       reported.error);
    }
    return failure(fmt::format("cannot run \"{}\"", command.program()), reported.error);
}

}  // namespace

Result<std::unique_ptr<Child>> spawn_on_terminal(int slave, const ShellCommand& command) {
    const ExecPlan plan(command, slave);
    auto started = os::start_child(exec_in_child, &plan);
    if (!started) return std::unexpected(std::move(started.error()));
    if (!*started) return std::unexpected(spawn_failure(command, started->error()));
    return std::make_unique<ProcessChild>(
        os::Process(static_cast<std::uint32_t>(**started), nullptr));
}

}  // namespace murv::pty
