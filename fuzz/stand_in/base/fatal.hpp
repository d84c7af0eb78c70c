// The fuzz build's fatal stop, found ahead of the tool's own (which needs std::source_location,
// beyond clang 14 with this library): it aborts, so that libFuzzer keeps the input.
#pragma once

#include <cstdlib>
#include <string_view>

namespace murv {

[[noreturn]] inline void fatal(std::string_view) {
    std::abort();
}

}  // namespace murv
