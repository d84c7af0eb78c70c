// Errors of the operating system, in words.
#pragma once

#include <string>

#include "base/error.hpp"

namespace murv::os {

// The calling thread's last error code: errno, or GetLastError on Windows.
int last_error_code();

// The system's text for an error code, then " (os error N)".
std::string error_text(int code);

// The system's error as an error value of its own.
inline Error system_error(int code) {
    return Error(error_text(code));
}

// "`what` failed": `what` in words (for example "open a pseudo-terminal"), caused by the
// system's error.
inline Error failure(std::string what, int code) {
    return Error(std::move(what), system_error(code));
}

inline Error last_failure(std::string what) {
    return failure(std::move(what), last_error_code());
}

}  // namespace murv::os
