// The few operating-system facts the tool and the session layer need, one implementation per
// platform (platform_posix.cpp, platform_windows.cpp).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/error.hpp"

namespace murv {

// --- Errors of the operating system -------------------------------------------------------

// The calling thread's last error code (errno, or GetLastError on Windows).
int last_os_error();

// The system's text for an error code, then " (os error N)".
std::string os_error_text(int code);

inline Error os_error(int code) {
    return Error(os_error_text(code));
}

// --- Standard streams ----------------------------------------------------------------------

enum class StandardStream { output, error };

// Writes all of `bytes`, unchanged (no line-end translation), straight to the stream.
Result<void> write_standard(StandardStream stream, std::string_view bytes);

// Puts a placeholder where this process was started without a standard stream, so that no
// descriptor it opens later becomes one: a report line or diagnostic would otherwise go into it,
// and a launched program would find it as its own. Writes to a placeholder output still fail
// (EBADF), as on the closed stream, and reads from a placeholder input do too.
void hold_standard_streams();

// Makes a write to a pipe whose reader has gone fail with an error instead of ending the
// process. Processes the tool starts get the default disposition back.
void ignore_broken_pipe();

// --- Environment of this process -----------------------------------------------------------

enum class EnvStatus { present, absent, not_unicode };

struct EnvRead {
    EnvStatus status;
    std::string value;  // the value when present and valid Unicode, possibly empty

    bool present_and_non_empty() const { return status == EnvStatus::present && !value.empty(); }
};

EnvRead read_env(const char* name);

// Every variable of this process, as name and value, in no particular order.
std::vector<std::pair<std::string, std::string>> process_environment();

// The order of variable names on this platform; names that compare equal are one variable.
bool env_name_less(std::string_view a, std::string_view b);

// --- Shells and the user -------------------------------------------------------------------

// The variables that name the user's shell, in the order a session consults them.
std::span<const char* const> shell_variables();

// The variable that names the system's command interpreter, read by the idle check.
const char* system_shell_variable();

// The program used when no shell variable is usable.
const char* fallback_shell();

// The user's profile (home) directory, when the platform can tell it.
std::optional<std::string> profile_directory();

// --- Files ---------------------------------------------------------------------------------

// What ends the name of a program file: "" on POSIX, ".exe" on Windows.
const char* executable_suffix();

// Whether a status query of `path`, following links, succeeds: anything at the path counts.
bool path_exists(const std::string& path);

}  // namespace murv
