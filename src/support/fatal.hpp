// Fatal stops: a diagnostic on standard error, then the process ends at once.
#pragma once

#include <source_location>
#include <string_view>

namespace murv {

// The status of every fatal stop. 0 and 1 are the report's verdicts; 2 is "trouble", as for
// diff and grep.
inline constexpr int FATAL_EXIT_STATUS = 2;

// Writes an empty line, the calling thread's name and `where`, then `message`, to standard
// error, and ends the process with FATAL_EXIT_STATUS without any further clean-up.
[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current());

// Names the calling thread "main" in diagnostics; other threads are "<unnamed>".
void name_this_thread_main();

}  // namespace murv
