// The environment a command of the pseudo-terminal layer starts with.
#pragma once

#include <map>
#include <string>

#include "os/platform.hpp"

namespace murv::pty {

// Environment variables by name, in the platform's order of names: on Windows, names that
// differ only in case are one variable.
struct EnvNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return os::env_name_less(a, b);
    }
};
using Environment = std::map<std::string, std::string, EnvNameLess>;

// What a new command starts with, as a new terminal window would: this process's environment,
// supplemented by the variables the system stores for new sessions (on Windows), in the order
// it applies them. A stored expandable value has its %NAME% references replaced by the values
// so far; a joining one is appended to the value so far, with a ';' between where neither has
// one; any other replaces a variable of the same name.
Environment default_environment();

// `value` with each %NAME% whose name is in `environment` replaced by its value. A reference to
// a name that is not there is kept whole, and the scan goes on after its closing '%': in
// "%UNKNOWN%B%" nothing is replaced.
std::string expand_references(std::string_view value, const Environment& environment);

}  // namespace murv::pty
