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
// supplemented by the variables the system stores for new sessions (on Windows; see
// with_stored).
Environment default_environment();

// `environment` supplemented by `stored`: first the machine's variables, then the user's, each
// replacing one of the same name; of each, the plain values before the expandable ones. An
// expandable value has its %NAME% references replaced by the values so far (a name that is not
// there stays as written). The user's Path is appended to the machine's, after a ';', instead
// of replacing it, and the machine's USERNAME (which names the system's own account) is not
// taken.
Environment with_stored(Environment environment, const os::StoredEnvironment& stored);

// `value` with each %NAME% whose name is in `environment` replaced by its value. A reference to
// a name that is not there is kept whole, and the scan goes on after its closing '%': in
// "%UNKNOWN%B%" nothing is replaced.
std::string expand_references(std::string_view value, const Environment& environment);

}  // namespace murv::pty
