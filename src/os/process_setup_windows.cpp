#include "os/process_setup.hpp"
#include "os/standard_streams.hpp"

namespace murv::os {

void prepare_process() {
    // Handle numbers are not reused by a later open, and there are no signals (a write to a pipe
    // without a reader fails with an error): only the diagnostics need setting up.
    install_fatal_platform();
}

}  // namespace murv::os
