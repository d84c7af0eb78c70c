#include <cerrno>
#include <system_error>

#include <fmt/format.h>

#include "os/system_error.hpp"

namespace murv::os {

int last_error_code() {
    return errno;
}

std::string error_text(int code) {
    return fmt::format("{} (os error {})", std::generic_category().message(code), code);
}

}  // namespace murv::os
