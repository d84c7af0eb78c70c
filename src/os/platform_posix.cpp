#include <array>
#include <cerrno>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/utf8.hpp"
#include "os/platform.hpp"

extern char** environ;

namespace murv::os {

EnvRead read_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return {EnvStatus::absent, {}};
    if (!is_valid_utf8(value)) return {EnvStatus::not_unicode, {}};
    return {EnvStatus::present, value};
}

std::vector<std::pair<std::string, std::string>> default_environment() {
    std::vector<std::pair<std::string, std::string>> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;  // not a variable
        variables.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    return variables;
}

bool env_name_less(std::string_view a, std::string_view b) {
    return a < b;
}

std::span<const char* const> shell_variables(ShellOf) {
    static constexpr std::array<const char*, 1> variables{"SHELL"};
    return variables;
}

const char* fallback_shell() {
    return "/bin/sh";
}

std::optional<std::string> profile_directory() {
    if (auto home = read_env("HOME"); home.present_and_non_empty()) return std::move(home.value);

    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    int error;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
           ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

const char* executable_suffix() {
    return "";
}

bool path_exists(const std::string& path) {
    struct stat status;
    return path.find('\0') == std::string::npos && ::stat(path.c_str(), &status) == 0;
}

}  // namespace murv::os
