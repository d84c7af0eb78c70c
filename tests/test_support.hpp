// Helpers shared by the tests.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include "sanitized.hpp"

namespace test {

// Runs `task` on a fresh io_context until it completes and returns its result.
template <class T>
T run_task(boost::asio::awaitable<T> task) {
    boost::asio::io_context context(1);
    std::optional<T> result;
    auto store = [&]() -> boost::asio::awaitable<void> {
        result.emplace(co_await std::move(task));
    };
    auto done = boost::asio::co_spawn(context, store(), boost::asio::use_future);
    context.run();
    done.get();  // rethrows what the task threw
    return std::move(*result);
}

inline void run_task(boost::asio::awaitable<void> task) {
    run_task(
        [&]() -> boost::asio::awaitable<bool> { co_return (co_await std::move(task), true); }());
}

// Polls `condition` until it holds or `limit` has passed; returns whether it held.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

inline void write_file(const std::filesystem::path& path, const std::string& text,
                       bool executable = false) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    if (executable) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    }
}

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string text_of(std::span<const std::byte> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

inline std::vector<std::byte> bytes_of(std::string_view text) {
    const auto* first = reinterpret_cast<const std::byte*>(text.data());
    return std::vector<std::byte>(first, first + text.size());
}

// The path as UTF-8, as the code under test takes paths.
inline std::string utf8(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A fresh directory, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        std::error_code error;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("perf_assert_test." + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_, error) && !error);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string utf8() const { return test::utf8(path_); }

  private:
    std::filesystem::path path_;
};

// The lines a terminal's output shows, as a console host draws them without wrapping: a cursor
// position (CSI H, f) starts a line, a cursor forward (CSI n C) and a column (CSI n G) make
// blanks, other escapes go; lines end at CR and LF, lose trailing blanks, and none is empty.
inline std::vector<std::string> screen_lines(std::string_view output) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        const char next = i + 1 < output.size() ? output[i + 1] : '\0';
        if (c == '\x1b' && next == '[') {
            const auto final = std::find_if(output.begin() + i + 2, output.end(),
                                            [](char b) { return b >= '@' && b <= '~'; });
            if (final == output.end()) break;
            const auto end = static_cast<std::size_t>(final - output.begin());
            const std::string parameters(output.substr(i + 2, end - i - 2));
            const bool number = !parameters.empty() &&
                                parameters.find_first_not_of("0123456789") == std::string::npos;
            const std::size_t count = number ? std::stoul(parameters) : 1;
            if (output[end] == 'H' || output[end] == 'f') {
                lines.emplace_back();
            } else if (output[end] == 'C') {
                lines.back().append(count, ' ');
            } else if (output[end] == 'G' && lines.back().size() < count - 1) {
                lines.back().resize(count - 1, ' ');
            }
            i = end;
        } else if (c == '\x1b' && next == ']') {
            const std::size_t end = output.find_first_of("\a\x1b", i + 2);  // BEL, or ESC '\\'
            i = end == std::string_view::npos ? output.size() : end + (output[end] == '\x1b');
        } else if (c == '\x1b') {
            ++i;
        } else if (c == '\r' || c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    std::vector<std::string> shown;
    for (auto& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        if (!line.empty()) shown.push_back(std::move(line));
    }
    return shown;
}

inline bool shows_line(std::string_view output, const std::string& line) {
    const auto lines = screen_lines(output);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

}  // namespace test

// Environment variables, threads and processes, per platform.
#if defined(_WIN32)
#include "test_support_windows.hpp"
#else
#include "test_support_posix.hpp"
#endif
