#include <atomic>
#include <cstddef>

#include "base/fatal.hpp"
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

// The program's start and its allocations pass through here: the link wraps __main (which the
// C runtime calls to run the static constructors, right before main) and malloc for every
// program on this layer (see CMakeLists.txt). Until the static constructors have run, a refused
// allocation is a fatal stop: the C runtime's start copies the arguments into blocks it does not
// check, and crashes on a refused one, and a static object that cannot allocate would end the
// process by std::terminate before the tool's own handlers are in place. From then on, a
// refusal goes back to the caller, as the C library gives it (operator new makes it a stop).
namespace {

std::atomic<bool> started = false;

}  // namespace

extern "C" void __real___main();
extern "C" void __wrap___main() {
    __real___main();
    started = true;
}

extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
    void* const block = __real_malloc(size);
    if (block == nullptr && !started.load(std::memory_order_relaxed)) {
        murv::os::install_fatal_platform();
        murv::name_this_thread_main();  // the C runtime starts the program on its main thread
        murv::fatal("memory allocation failed");
    }
    return block;
}
