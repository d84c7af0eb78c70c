// Errors of the operating system, in words.
#pragma once

#include <string>

#include "base/error.hpp"

namespace murv::os {

// The calling thread's last error code: errno, or GetLastError on Windows.
int last_error_code();

// The system's text for an error code, then " (os error N)".
std::string error_text(int code);

inline Error system_error(int code) {
    return Error(error_text(code));
}

// `what` failed ("CreatePipe (the terminal's input)"), caused by the system's error.
inline Error failure(std::string what, int code) {
    return Error(std::move(what), system_error(code));
}

inline Error last_failure(std::string what) {
    return failure(std::move(what), last_error_code());
}

}  // namespace murv::os
