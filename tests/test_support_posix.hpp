// Helpers shared by the tests, POSIX side (included by test_support.hpp).
#pragma once

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace test {

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Threads of this process.
inline std::size_t thread_count() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// Whether `pid` is gone and reaped: a zombie still answers kill(pid, 0).
inline bool reaped(pid_t pid) {
    return ::kill(pid, 0) < 0 && errno == ESRCH;
}

}  // namespace test
