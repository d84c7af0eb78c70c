#include <cerrno>
#include <csignal>
#include <cstdint>
#include <memory>
#include <utility>

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "base/owned.hpp"
#include "os/system_error.hpp"
#include "os/thread.hpp"

namespace murv::os {
namespace {

using Body = std::move_only_function<void()>;

// Room for a fault handler that makes a fatal stop, and for the signal frame below it, which
// holds the processor's whole state (some KiB with AVX-512). Untouched, its pages are never
// resident.
constexpr std::size_t SIGNAL_STACK_SIZE = 64 << 10;

// The kernel keeps this much unmapped below the main thread's stack, however far it may grow.
constexpr std::uintptr_t MAIN_STACK_GAP = 1 << 20;

std::size_t page() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A thread's signal stack, with a page below it that faults: a handler that ran out of it would
// otherwise write into whatever lies there.
using SignalStack =
    Owned<FreedBy<void*, [](void* base) { ::munmap(base, page() + SIGNAL_STACK_SIZE); }>>;

Result<SignalStack> map_signal_stack() {
    void* base = ::mmap(nullptr, page() + SIGNAL_STACK_SIZE, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) return std::unexpected(system_error(errno));
    SignalStack stack(base);
    if (::mprotect(base, page(), PROT_NONE) != 0) return std::unexpected(system_error(errno));
    return stack;
}

// Makes it the calling thread's signal stack, until that thread ends or stops using it.
Result<void> use(const SignalStack& signal_stack) {
    const stack_t stack{.ss_sp = static_cast<std::byte*>(signal_stack.get()) + page(),
                        .ss_flags = 0,
                        .ss_size = SIGNAL_STACK_SIZE};
    if (::sigaltstack(&stack, nullptr) != 0) return std::unexpected(system_error(errno));
    return {};
}

// Where a fault on the calling thread is its stack running out: the guard region below the
// stack. Set at the thread's start; empty on a thread that has none recorded.
struct StackGuard {
    std::uintptr_t low = 0, high = 0;
    const char* overflowed = nullptr;  // the stop's message, naming the thread
};
thread_local StackGuard guard;

// Attributes that pthread_attr_init or pthread_getattr_np made.
using ThreadAttributes = Owned<FreedBy<pthread_attr_t*, ::pthread_attr_destroy>>;

// A started thread's stack, as the threads library made it, with its guard below.
Result<StackGuard> started_thread_guard() {
    pthread_attr_t attributes;
    if (int error = ::pthread_getattr_np(::pthread_self(), &attributes)) {
        return std::unexpected(system_error(error));
    }
    const ThreadAttributes owned(&attributes);
    void* low = nullptr;
    std::size_t size = 0, guard_size = 0;
    ::pthread_attr_getstack(&attributes, &low, &size);
    ::pthread_attr_getguardsize(&attributes, &guard_size);
    const auto bottom = reinterpret_cast<std::uintptr_t>(low);
    return StackGuard{bottom - guard_size, bottom, "thread '<unnamed>' has overflowed its stack"};
}

// The main thread's stack grows down from above here by the limit at most, and the kernel keeps
// a gap free below that: a fault between the gap's bottom and here is the stack running out.
// (The threads library would read the stack's place from /proc with stdio, whose parsing needs
// more stack than the rest of the run.) No limit, no bound to run into.
Result<StackGuard> main_thread_guard() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0) return std::unexpected(system_error(errno));
    const char marker = 0;
    const auto here = reinterpret_cast<std::uintptr_t>(&marker);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur + MAIN_STACK_GAP > here) {
        return StackGuard{};
    }
    return StackGuard{here - limit.rlim_cur - MAIN_STACK_GAP, here,
                      "thread 'main' has overflowed its stack"};
}

// Runs on the thread's signal stack. A fault in its stack's guard region is a fatal stop;
// any other takes the default disposition again, and the faulting instruction, run again
// once this returns, ends the process as before (a signal sent by a process is raised again).
void on_fault(int signal, siginfo_t* info, void*) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (info->si_code > 0 && address >= guard.low && address < guard.high) {
        fatal(guard.overflowed);
    }
    ::signal(signal, SIG_DFL);
    if (info->si_code <= 0) ::raise(signal);
}

// What the thread takes with it.
struct Start {
    Body body;
    SignalStack signal_stack;
};

void* run_body(void* raw) {
    const std::unique_ptr<Start> start(static_cast<Start*>(raw));
    const auto used = use(start->signal_stack);
    const auto guarded = used ? started_thread_guard() : std::unexpected(used.error());
    if (!guarded) fatal(fmt::format("failed to spawn thread: {}", guarded.error().describe()));
    guard = *guarded;
    start->body();
    guard = {};
    const stack_t none{.ss_sp = nullptr, .ss_flags = SS_DISABLE, .ss_size = 0};
    ::sigaltstack(&none, nullptr);
    return nullptr;
}

}  // namespace

Result<void> guard_stacks() {
    static SignalStack main_signal_stack;  // for the life of the process
    const auto guarded = main_thread_guard();
    if (!guarded) return std::unexpected(guarded.error());
    auto mapped = map_signal_stack();
    if (!mapped) return std::unexpected(mapped.error());
    if (auto used = use(*mapped); !used) return used;
    main_signal_stack = std::move(*mapped);
    guard = *guarded;
    struct sigaction action {};
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS}) {
        if (::sigaction(signal, &action, nullptr) != 0) return std::unexpected(system_error(errno));
    }
    return {};
}

Result<void> start_detached_thread(Body body, std::size_t stack_size) {
    pthread_attr_t attributes;
    if (int error = ::pthread_attr_init(&attributes)) return std::unexpected(system_error(error));
    const ThreadAttributes owned_attributes(&attributes);
    for (const int error : {::pthread_attr_setstacksize(&attributes, stack_size),
                            ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED)}) {
        if (error != 0) return std::unexpected(system_error(error));
    }
    auto signal_stack = map_signal_stack();
    if (!signal_stack) return std::unexpected(signal_stack.error());
    auto owned = std::make_unique<Start>(std::move(body), std::move(*signal_stack));
    pthread_t thread;
    if (int error = ::pthread_create(&thread, &attributes, run_body, owned.get())) {
        return std::unexpected(system_error(error));
    }
    owned.release();  // the thread's now
    return {};
}

}  // namespace murv::os
