// A MinGW build's start and allocations pass through here (the link wraps __main and malloc; see
// the README's "Refused calls"). Before the static constructors have run, a refused allocation is
// a fatal stop: mingw's start does not check its blocks, and a static object would end the
// process by std::terminate. After, it goes back to the caller, as the C library gives it.
#include <atomic>
#include <cstddef>

#include <windows.h>

#include "base/fatal.hpp"
#include "os/standard_streams.hpp"

// The import slot of the C runtime's free, which the link leaves alone: it names the runtime's
// module (msvcrt or the UCRT, whichever the program was linked against).
extern "C" void* __imp_free;

namespace {

using Malloc = void* (*)(std::size_t);

std::atomic<bool> started = false;
std::atomic<Malloc> runtime_malloc = nullptr;

// The runtime's own malloc, looked up in its module (which allocates nothing). Not
// __real_malloc: lld wraps the import of malloc too, and __real_malloc then leads back here.
Malloc find_runtime_malloc() {
    HMODULE runtime = nullptr;
    const auto found = ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(__imp_free), &runtime);
    const FARPROC function = found ? ::GetProcAddress(runtime, "malloc") : nullptr;
    if (function == nullptr) {
        murv::os::install_fatal_platform();
        murv::fatal("GetProcAddress failed for the C runtime's malloc");
    }
    // Through void(*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Malloc>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

extern "C" void __real___main();
extern "C" void __wrap___main() {
    __real___main();
    started = true;
}

extern "C" void* __wrap_malloc(std::size_t size) {
    Malloc allocate = runtime_malloc.load(std::memory_order_relaxed);
    if (allocate == nullptr) {
        allocate = find_runtime_malloc();  // each thread that races here finds the same one
        runtime_malloc.store(allocate, std::memory_order_relaxed);
    }
    void* const block = allocate(size);
    if (block == nullptr && !started.load(std::memory_order_relaxed)) {
        murv::os::install_fatal_platform();
        murv::name_this_thread_main();  // the C runtime starts the program on its main thread
        murv::fatal("memory allocation failed");
    }
    return block;
}
