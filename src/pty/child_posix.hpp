#pragma once

#include <memory>

#include "base/error.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Returns once the program has exec'd on `slave`, its controlling terminal; else the error.
Result<std::unique_ptr<Child>> spawn_on_terminal(int slave, const ShellCommand& command);

}  // namespace murv::pty
