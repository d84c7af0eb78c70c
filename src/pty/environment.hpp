// The variables of a command of the pseudo-terminal layer.
#pragma once

#include <map>
#include <string>

#include "os/platform.hpp"

namespace murv::pty {

// In the platform's order of names: on Windows, names that differ only in case are one.
struct EnvNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return os::env_name_less(a, b);
    }
};
using Environment = std::map<std::string, std::string, EnvNameLess>;

}  // namespace murv::pty
