// The operating-system facts the tool and the session layer need: this process's
// environment, the shells and the user, and files.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murv::os {

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

// A variable as the system stores it for new sessions, which it gives their environment, with
// how it is applied over the values before it.
struct StoredVariable {
    std::string name;
    std::string value;
    bool expandable = false;  // its %NAME% references are to be expanded
    bool joins = false;       // appended to the list so far instead of replacing it
};

// The variables stored for new sessions, as they are now, in the order the system applies them:
// on Windows, the settings kept in the registry (which `setx` changes) for the machine, then for
// the user, then for the user's logon; none on POSIX. A value that is empty or cannot be read or
// converted, and a name that cannot be a variable's, are left out.
std::vector<StoredVariable> stored_environment();

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

}  // namespace murv::os
