#include "os/process_setup.hpp"
#include "os/standard_streams.hpp"

namespace murv::os {

void prepare_process() {
    // Standard handles are not numbers that a later open could be given, a write to a pipe
    // without a reader fails with ERROR_NO_DATA or ERROR_BROKEN_PIPE, ending nothing, and
    // there are no signals: only the diagnostics need setting up.
    install_fatal_platform();
}

}  // namespace murv::os
