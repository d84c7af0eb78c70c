#include "pty/pty.hpp"

namespace murv::pty {

ShellCommand::ShellCommand(std::string program) : program_(std::move(program)) {
    for (auto& [name, value] : os::default_environment())
        set_env(name, std::move(value));
}

void ShellCommand::set_env(const std::string& name, std::string value) {
    // Erase first: on a platform whose names ignore case, the new spelling is the one kept.
    environment_.erase(name);
    environment_.emplace(name, std::move(value));
}

Result<os::ExitStatus> ProcessChild::wait() {
    auto status = process_.wait();
    if (!status) return std::unexpected(Error("wait for the child", std::move(status.error())));
    return status;
}

}  // namespace murv::pty
