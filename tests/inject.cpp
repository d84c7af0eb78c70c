// Preloaded into a program (LD_PRELOAD), this makes the system refuse it something:
//   HOLD_MEMORY_MB=N     it holds N megabytes of resident memory from its start;
//   INJECT_FAILURE=F:N:E the Nth call (from 1, over all threads) of F fails with errno E.
// Its variables leave the program's environment at once: what the program starts runs unharmed.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include <dlfcn.h>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

// Visible to the program, so that neither the block nor the writes to it can be left out.
extern "C" void* hold_memory_block;
void* hold_memory_block = nullptr;

namespace {

char failing_function[64];
long failing_call = 0;
int failing_error = 0;

[[gnu::constructor]] void set_up() {
    if (const char* megabytes = std::getenv("HOLD_MEMORY_MB")) {
        const std::size_t bytes = std::strtoul(megabytes, nullptr, 10) << 20;
        hold_memory_block = std::malloc(bytes);
        if (hold_memory_block != nullptr) std::memset(hold_memory_block, 1, bytes);
    }
    if (const char* failure = std::getenv("INJECT_FAILURE")) {
        const std::string_view text = failure;
        const auto first = text.find(':');
        const auto second = text.find(':', first + 1);
        if (first < sizeof failing_function && second != std::string_view::npos) {
            text.copy(failing_function, first);
            failing_call = std::strtol(failure + first + 1, nullptr, 10);
            failing_error = static_cast<int>(std::strtol(failure + second + 1, nullptr, 10));
        }
    }
    ::unsetenv("HOLD_MEMORY_MB");
    ::unsetenv("INJECT_FAILURE");
    ::unsetenv("LD_PRELOAD");
}

}  // namespace

// Each wrapper: its own count, the refusal, or the real call.
#define INJECTABLE(result, name, failed, parameters, arguments)                       \
    extern "C" result name parameters {                                               \
        static std::atomic<long> calls;                                               \
        static const auto next =                                                      \
            reinterpret_cast<result(*) parameters>(::dlsym(RTLD_NEXT, #name));        \
        if (++calls == failing_call && std::string_view(#name) == failing_function) { \
            errno = failing_error;                                                    \
            return failed;                                                            \
        }                                                                             \
        return next arguments;                                                        \
    }

INJECTABLE(ssize_t, read, -1, (int fd, void* buffer, size_t size), (fd, buffer, size))
INJECTABLE(int, epoll_ctl, -1, (int epoll, int op, int fd, epoll_event* event),
           (epoll, op, fd, event))
INJECTABLE(int, timerfd_settime, -1, (int fd, int flags, const itimerspec* value, itimerspec* old),
           (fd, flags, value, old))
INJECTABLE(int, clock_gettime, -1, (clockid_t clock, timespec* time), (clock, time))
INJECTABLE(void*, aligned_alloc, nullptr, (size_t alignment, size_t size), (alignment, size))
