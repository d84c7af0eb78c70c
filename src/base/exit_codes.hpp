// How the tool's process ends.
#pragma once

namespace murv {

// Both budgets hold.
inline constexpr int EXIT_PASSED = 0;
// A budget is exceeded.
inline constexpr int EXIT_OVER_BUDGET = 1;
// A fatal stop: the run could not be carried out. "Trouble", as for diff and grep.
inline constexpr int EXIT_FATAL = 2;

}  // namespace murv
