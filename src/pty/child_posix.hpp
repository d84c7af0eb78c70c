// Starting a program on a terminal's slave side, POSIX only. See child_posix.cpp.
#pragma once

#include <memory>

#include "base/error.hpp"
#include "pty/pty.hpp"

namespace murv::pty {

// Starts `command` with `slave` (a descriptor of the terminal's slave side) as its controlling
// terminal and standard streams, and returns once it has exec'd: a program that cannot be run,
// or a directory that cannot be entered, is this call's error, and its child is reaped.
Result<std::unique_ptr<Child>> spawn_on_terminal(int slave, const ShellCommand& command);

}  // namespace murv::pty
