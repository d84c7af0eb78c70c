// A terminal of the native pseudo-terminal layer: it starts a program on the slave side and
// reads the output on a thread of its own until the end.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "pty/pty.hpp"
#include "test_support.hpp"

namespace test {

class Terminal {
  public:
    // By default wide enough that nothing a test reads wraps.
    explicit Terminal(murv::pty::PtySize size = {.rows = 50, .cols = 1000}) {
        auto pair = murv::pty::native_pty_system().openpty(size);
        EXPECT_TRUE(pair) << pair.error().describe();
        if (pair) pair_ = std::move(*pair);
    }
    ~Terminal() {
        pair_.master.reset();
        if (reading_.joinable()) reading_.join();
    }

    // Starts `command`, releases the slave and starts reading.
    murv::Result<std::unique_ptr<murv::pty::Child>> spawn(murv::pty::ShellCommand command) {
        auto child = pair_.slave->spawn_command(std::move(command));
        pair_.slave.reset();
        auto reader = pair_.master->try_clone_reader();
        EXPECT_TRUE(reader);
        if (!reader) return child;
        reading_ = std::thread([this, reader = std::move(*reader)] {
            std::byte buffer[1024];
            for (;;) {
                const auto read = reader->read(buffer);
                if (!read || *read == 0) break;
                const std::lock_guard lock(mutex_);
                output_.append(reinterpret_cast<const char*>(buffer), *read);
            }
            ended_ = true;
        });
        return child;
    }

    murv::pty::MasterPty& master() { return *pair_.master; }
    void release_master() { pair_.master.reset(); }

    std::string output() {
        const std::lock_guard lock(mutex_);
        return output_;
    }
    // Whether the screen shows `line` within a few seconds.
    bool shows(const std::string& line) {
        return eventually([&] { return shows_line(output(), line); },
                          std::chrono::milliseconds(10000));
    }
    bool ended() const { return ended_; }

  private:
    murv::pty::PtyPair pair_;
    std::thread reading_;
    std::mutex mutex_;
    std::string output_;
    std::atomic<bool> ended_ = false;
};

}  // namespace test
