// Starting a program attached to a pseudo console, Windows only. See child_windows.cpp.
#pragma once

#include <memory>

#include <windows.h>

#include "base/error.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Starts `command` attached to the pseudo console `console`, its program looked up as
// child_windows.cpp says, with the command's environment and working directory and no handle
// of this process's.
Result<std::unique_ptr<Child>> spawn_on_console(HPCON console, const ShellCommand& command);

}  // namespace murv::pty
