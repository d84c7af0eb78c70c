// How the tool's process ends.
#pragma once

#include <cstdlib>

namespace murv {

inline constexpr int EXIT_PASSED = 0;
inline constexpr int EXIT_OVER_BUDGET = 1;
// A fatal stop: the run could not be carried out. "Trouble", as for diff and grep.
inline constexpr int EXIT_FATAL = 2;

// Ends the process at once with `status`: no destructor or atexit handler of the tool's runs, so
// that nothing after the last line can fail and change the status. (msvcrt's _exit still runs
// the loaded DLLs' detach routines.)
[[noreturn]] inline void end_process(int status) {
    std::_Exit(status);
}

}  // namespace murv
