#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "support/platform.hpp"
#include "support/utf8.hpp"

extern char** environ;

namespace murv {

int last_os_error() {
    return errno;
}

std::string os_error_text(int code) {
    return fmt::format("{} (os error {})", std::generic_category().message(code), code);
}

Result<void> write_standard(StandardStream stream, std::string_view bytes) {
    const int fd = stream == StandardStream::output ? STDOUT_FILENO : STDERR_FILENO;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(os_error(errno));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

void hold_standard_streams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // Open for the other direction: the stream stays unusable the way it was meant to be.
        // The lowest free number is taken, and those below `fd` are held by now.
        const int placeholder =
            ::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (placeholder >= 0 && placeholder != fd) {
            ::dup3(placeholder, fd, O_CLOEXEC);
            ::close(placeholder);
        }
    }
}

void ignore_broken_pipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

EnvRead read_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return {EnvStatus::absent, {}};
    if (!is_valid_utf8(value)) return {EnvStatus::not_unicode, {}};
    return {EnvStatus::present, value};
}

std::vector<std::pair<std::string, std::string>> process_environment() {
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

std::span<const char* const> shell_variables() {
    static constexpr std::array<const char*, 1> variables{"SHELL"};
    return variables;
}

const char* system_shell_variable() {
    return "SHELL";
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

}  // namespace murv
