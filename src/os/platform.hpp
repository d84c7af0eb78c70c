// The operating-system facts the tool and the session layer need.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murv::os {

enum class EnvStatus { present, absent, not_unicode };

struct EnvRead {
    EnvStatus status;
    std::string value;  // the value when present and valid Unicode, possibly empty

    bool present_and_non_empty() const { return status == EnvStatus::present && !value.empty(); }
};

EnvRead read_env(const char* name);

// What a new terminal window's command starts with; on Windows refreshed from the stored ones.
std::vector<std::pair<std::string, std::string>> default_environment();

// The order of variable names on this platform; names that compare equal are one variable.
bool env_name_less(std::string_view a, std::string_view b);

// The variables that name the user's shell, or the system's command interpreter, in order.
enum class ShellOf { user, system };
std::span<const char* const> shell_variables(ShellOf whose);

const char* fallback_shell();

// The user's profile (home) directory, when the platform can tell it.
std::optional<std::string> profile_directory();

const char* executable_suffix();

// Whether a status query of `path`, following links, succeeds: anything at the path counts.
bool path_exists(const std::string& path);

}  // namespace murv::os
