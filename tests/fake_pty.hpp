// A pseudo-terminal layer for tests: it fails at a chosen step, hands out readers fed by the
// test, and logs what happens to its objects.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pty/pty.hpp"

namespace test {

// What the fake layer saw, shared by all its objects; safe to read from any thread.
struct FakeLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events;
    std::optional<murv::pty::ShellCommand> command;  // the last one spawned
    std::vector<std::string> programs;               // of every spawn, in order
    std::function<void()> on_spawn = [] {};          // runs after each spawn
    std::vector<int> masters_released;               // by their opens' numbers, from 0
    std::deque<std::optional<std::string>> output;   // what readers return; nullopt: an error
    bool output_ended = false;                       // then reads return 0

    void add(std::string event) {
        const std::lock_guard lock(mutex);
        events.push_back(std::move(event));
        changed.notify_all();
    }
    std::vector<std::string> snapshot() {
        const std::lock_guard lock(mutex);
        return events;
    }
    bool saw(const std::string& event) { return std::ranges::count(snapshot(), event) > 0; }
    // Hands the reader one chunk, an error (nullopt), or the end.
    void feed(std::optional<std::string> chunk) {
        const std::lock_guard lock(mutex);
        output.push_back(std::move(chunk));
        changed.notify_all();
    }
    void end_output() {
        const std::lock_guard lock(mutex);
        output_ended = true;
        changed.notify_all();
    }
};

enum class FailAt { nothing, openpty, spawn, writer, reader };

class FakePtySystem final : public murv::pty::PtySystem {
  public:
    explicit FakePtySystem(FailAt fail_at = FailAt::nothing)
        : fail_at_(fail_at), log_(std::make_shared<FakeLog>()) {}

    murv::Result<murv::pty::PtyPair> openpty(murv::pty::PtySize size) override;

    FakeLog& log() { return *log_; }

  private:
    FailAt fail_at_;
    std::shared_ptr<FakeLog> log_;
    int opens_ = 0;
};

}  // namespace test
