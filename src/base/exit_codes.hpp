// How the tool's process ends.
#pragma once

#include <cstdlib>

namespace murv {

// Both budgets hold.
inline constexpr int EXIT_PASSED = 0;
// A budget is exceeded.
inline constexpr int EXIT_OVER_BUDGET = 1;
// A fatal stop: the run could not be carried out. "Trouble", as for diff and grep.
inline constexpr int EXIT_FATAL = 2;

// Ends the process at once with `status`: no destructor or exit handler runs, so that nothing
// after the last line written can fail and change what the run ends with.
[[noreturn]] inline void end_process(int status) {
    std::_Exit(status);
}

}  // namespace murv
