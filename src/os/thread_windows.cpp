#include <memory>

#include "os/system_error.hpp"
#include "os/thread.hpp"
#include "os/win32.hpp"

namespace murv::os {
namespace {

using Body = std::move_only_function<void()>;

DWORD WINAPI run_body(void* raw) {
    const std::unique_ptr<Body> body(static_cast<Body*>(raw));
    (*body)();
    return 0;
}

}  // namespace

Result<void> start_detached_thread(Body body, std::size_t stack_size) {
    auto owned = std::make_unique<Body>(std::move(body));
    const win32::UniqueHandle thread(::CreateThread(nullptr, stack_size, run_body, owned.get(),
                                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) return std::unexpected(system_error(last_error_code()));
    // The body is the thread's now. The handle goes, and the thread runs on detached.
    owned.release();
    return {};
}

}  // namespace murv::os
