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

// What a new command starts with, as a new terminal window would, as name and value: this
// process's environment, on Windows refreshed from the variables the system stores for new
// sessions (the settings kept in the registry, which `setx` changes, for the machine, then for
// the user, then for the user's logon), as the system applies them. In no particular order.
std::vector<std::pair<std::string, std::string>> default_environment();

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

}  // namespace murv::os
