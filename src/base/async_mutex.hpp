// An asynchronous mutex that owns the value it guards, which Asio lacks: a waiting coroutine is
// suspended, not its thread, and waiters are served in order. For one single-threaded loop.
#pragma once

#include <cassert>
#include <deque>
#include <functional>
#include <utility>

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace murv {

template <class T>
class AsyncMutex {
  public:
    class Guard {
      public:
        Guard(Guard&& other) noexcept : mutex_(std::exchange(other.mutex_, nullptr)) {}
        Guard& operator=(Guard&&) = delete;
        ~Guard() {
            if (mutex_ != nullptr) mutex_->unlock();
        }

        T& operator*() const { return mutex_->value_; }
        T* operator->() const { return &mutex_->value_; }

      private:
        friend class AsyncMutex;
        explicit Guard(AsyncMutex& mutex) : mutex_(&mutex) {}
        AsyncMutex* mutex_;
    };

    template <class... Args>
    explicit AsyncMutex(Args&&... args) : value_(std::forward<Args>(args)...) {}

    // Moving is for setting a value up: neither side may be locked.
    AsyncMutex(AsyncMutex&& other) noexcept : value_(std::move(other.value_)) {
        assert(!other.locked_);
    }
    AsyncMutex& operator=(AsyncMutex&&) = delete;

    boost::asio::awaitable<Guard> lock() {
        if (locked_) {
            co_await boost::asio::async_initiate<decltype(boost::asio::use_awaitable), void()>(
                [this](auto handler) {
                    // Resuming posts the waiter to its own executor, never runs it inline.
                    waiters_.emplace_back([handler = std::move(handler)]() mutable {
                        const auto executor = boost::asio::get_associated_executor(handler);
                        boost::asio::post(executor, std::move(handler));
                    });
                },
                boost::asio::use_awaitable);
            // unlock() handed the lock over without releasing it: no one can barge in.
        } else {
            locked_ = true;
        }
        co_return Guard(*this);
    }

  private:
    void unlock() {
        if (waiters_.empty()) {
            locked_ = false;
            return;
        }
        auto resume = std::move(waiters_.front());
        waiters_.pop_front();
        resume();
    }

    bool locked_ = false;
    std::deque<std::move_only_function<void()>> waiters_;
    T value_;
};

}  // namespace murv
