// Helpers shared by the tests, POSIX side (included by test_support.hpp).
#pragma once

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

// The shell a session runs: the variables that name it, in the order consulted; the one the
// idle check reads; the shell when none is usable. (test_support_windows.hpp: the same names.)
inline const std::vector<const char*> SHELL_VARIABLES{"SHELL"};
inline constexpr const char* SYSTEM_SHELL_VARIABLE = "SHELL";
inline constexpr const char* FALLBACK_SHELL = "/bin/sh";

inline void prepare_test_process() {}

// Makes a symbolic link at `link` to `target`.
inline bool make_symlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

inline bool under_wine() {
    return false;
}

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    // Sets a value that is not valid Unicode: a byte that is not UTF-8.
    static ScopedEnv not_unicode(const char* name) { return ScopedEnv(name, "\xff"); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

inline std::size_t entry_count(const char* directory) {
    const std::filesystem::directory_iterator entries(directory);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// Threads of this process, counted first after a thread has come and gone: a runtime that starts
// a helper with the first thread (ThreadSanitizer's) has then done so, and counts compare.
inline std::size_t thread_count() {
    static const bool settled = (std::thread([] {}).join(), true);
    (void)settled;
    return entry_count("/proc/self/task");
}

// Open descriptors of this process, the count's own listing among them.
inline std::size_t descriptor_count() {
    return entry_count("/proc/self/fd");
}

// Makes this process the parent of its descendants' orphans; false where the system refuses.
inline bool adopt_orphans() {
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

// Whether this process has a child, alive or a zombie (which is reaped).
inline bool has_children() {
    return ::waitpid(-1, nullptr, WNOHANG) >= 0 || errno != ECHILD;
}

// Whether `pid` is gone and reaped: a zombie still answers kill(pid, 0).
inline bool reaped(pid_t pid) {
    return ::kill(pid, 0) < 0 && errno == ESRCH;
}

}  // namespace test
