// Preloaded into a program (LD_PRELOAD), this makes it hold HOLD_MEMORY_MB megabytes of
// resident memory from its start, so that a run's idle figure is over its budget. It takes both
// variables out of the program's environment at once: what the program starts holds nothing.
#include <cstdlib>
#include <cstring>

// Visible to the program, so that neither the block nor the writes to it can be left out.
extern "C" void* hold_memory_block;
void* hold_memory_block = nullptr;

namespace {

[[gnu::constructor]] void hold_memory() {
    const char* megabytes = std::getenv("HOLD_MEMORY_MB");
    if (megabytes == nullptr) return;
    const std::size_t bytes = std::strtoul(megabytes, nullptr, 10) << 20;
    ::unsetenv("HOLD_MEMORY_MB");
    ::unsetenv("LD_PRELOAD");
    hold_memory_block = std::malloc(bytes);
    if (hold_memory_block != nullptr) std::memset(hold_memory_block, 1, bytes);
}

}  // namespace
