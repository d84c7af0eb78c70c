// Runs a program of the build for an end-to-end test and collects what it did.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.hpp"

namespace test {

struct Outcome {
    int exit_code = -1;  // -1 when it did not exit normally
    int signal = 0;
    std::string out;
    std::string err;
};

struct Launch {
    std::vector<std::string> args;
    std::filesystem::path cwd = ".";
    std::vector<std::pair<std::string, std::optional<std::string>>> env;  // nullopt: removed
    bool stdout_reader_gone = false;  // stdout a pipe whose read end is closed

    Launch& with_args(std::vector<std::string> values) {
        args = std::move(values);
        return *this;
    }
    Launch& with_env(std::string name, std::optional<std::string> value) {
        env.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    Launch& with_stdout_reader_gone() {
        stdout_reader_gone = true;
        return *this;
    }
};

inline Outcome run_program(const std::string& program, const Launch& launch = {}) {
    TempDir capture;
    const auto out_path = capture.path() / "out";
    const auto err_path = capture.path() / "err";
    int pipe_fds[2] = {-1, -1};
    if (launch.stdout_reader_gone) {
        if (::pipe(pipe_fds) < 0) std::abort();
        ::close(pipe_fds[0]);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : launch.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        // The test process is single-threaded here, so the child may use the library freely.
        for (const auto& [name, value] : launch.env) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
        const int out = launch.stdout_reader_gone
                            ? pipe_fds[1]
                            : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(launch.cwd.c_str()) < 0) {
            ::_exit(126);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (launch.stdout_reader_gone) ::close(pipe_fds[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);

    Outcome outcome;
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.out = read_file(out_path);
    outcome.err = read_file(err_path);
    return outcome;
}

}  // namespace test
