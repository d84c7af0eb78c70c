#include "pty/pty.hpp"

namespace murv::pty {

ShellCommand::ShellCommand(std::string program)
    : program_(std::move(program)), environment_(default_environment()) {}

void ShellCommand::set_env(const std::string& name, std::string value) {
    // Erase first: on a platform whose names ignore case, the new spelling is the one kept.
    environment_.erase(name);
    environment_.emplace(name, std::move(value));
}

}  // namespace murv::pty
