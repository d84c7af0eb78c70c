#include <memory>

#include <pthread.h>

#include "os/system_error.hpp"
#include "os/thread.hpp"

namespace murv::os {
namespace {

using Body = std::move_only_function<void()>;

void* run_body(void* raw) {
    const std::unique_ptr<Body> body(static_cast<Body*>(raw));
    (*body)();
    return nullptr;
}

// Owns a pthread_attr_t.
class ThreadAttributes {
  public:
    ThreadAttributes() { ::pthread_attr_init(&attributes_); }
    ~ThreadAttributes() { ::pthread_attr_destroy(&attributes_); }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;

    pthread_attr_t* get() { return &attributes_; }

  private:
    pthread_attr_t attributes_;
};

}  // namespace

Result<void> start_detached_thread(Body body, std::size_t stack_size) {
    ThreadAttributes attributes;
    if (int error = ::pthread_attr_setstacksize(attributes.get(), stack_size)) {
        return std::unexpected(system_error(error));
    }
    if (int error = ::pthread_attr_setdetachstate(attributes.get(), PTHREAD_CREATE_DETACHED)) {
        return std::unexpected(system_error(error));
    }
    auto owned = std::make_unique<Body>(std::move(body));
    pthread_t thread;
    if (int error = ::pthread_create(&thread, attributes.get(), run_body, owned.get())) {
        return std::unexpected(system_error(error));
    }
    // The body is the thread's now.
    owned.release();
    return {};
}

}  // namespace murv::os
