#pragma once

#include <memory>

#include <windows.h>

#include "base/error.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Starts `command` on the pseudo console `console`, inheriting no handle of this process's.
Result<std::unique_ptr<Child>> spawn_on_console(HPCON console, const ShellCommand& command);

}  // namespace murv::pty
