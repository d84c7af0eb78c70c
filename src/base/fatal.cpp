#include "base/fatal.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <thread>

#include <fmt/format.h>

#include "base/exit_codes.hpp"

namespace murv {
namespace {

// Not a thread_local: where the compiler emulates those (mingw-w64), a thread's first use of
// one allocates.
std::atomic<void (*)(std::string_view) noexcept> write_diagnostic{
    [](std::string_view bytes) noexcept { std::fwrite(bytes.data(), 1, bytes.size(), stderr); }};
std::atomic<unsigned long long (*)() noexcept> current_thread = nullptr;
std::atomic<void (*)() noexcept> pause_thread = nullptr;
std::atomic<unsigned long long> main_thread = 0;  // 0 until it is named: no thread's number

// Taken by the thread that ends the process: by a stop, or by the run once it writes its last
// lines (claim_the_end). Whoever comes second waits for the end.
std::atomic_flag stopping;
std::atomic<unsigned long long> stopping_thread = 0;
std::atomic<bool> run_ending = false;  // taken by claim_the_end, not by a stop

[[noreturn]] void wait_for_the_end() {
    for (;;) {
        const auto pause = pause_thread.load();
        pause != nullptr ? pause() : std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

void on_terminate() {
    // Its text into a buffer of its own, as the message may be written while memory has run
    // out; a longer text is cut at 512 bytes.
    char text[512];
    std::string_view message = "terminate called without an active exception";
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::bad_alloc&) {
            // Thrown by a library that allocates without operator new.
            message = "memory allocation failed";
        } catch (const std::exception& exception) {
            const auto end =
                fmt::format_to_n(text, sizeof text, "uncaught exception: {}", exception.what());
            message = std::string_view(text, end.out);
        } catch (...) {
            message = "uncaught exception of an unknown type";
        }
    }
    fatal(message);
}

// The source place from the last folder named src on, whatever path and separator the compiler
// wrote (the whole path when no folder is so named). No copy: a stop may run on a small stack.
std::string_view source_place(std::string_view file) {
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    for (std::size_t at = file.size(); at-- > 0;) {
        if (separator(file[at]) && file.substr(at + 1, 3) == "src" && file.size() > at + 4 &&
            separator(file[at + 4])) {
            return file.substr(at + 1);
        }
    }
    return file;
}

}  // namespace

void name_this_thread_main() {
    if (const auto current = current_thread.load()) main_thread = current();
}

void set_fatal_platform(FatalPlatform platform) {
    write_diagnostic = platform.write_diagnostic;
    current_thread = platform.current_thread;
    pause_thread = platform.pause;
}

void stop_fatally_when_exhausted() {
    std::set_new_handler([] { fatal("memory allocation failed"); });
    std::set_terminate(on_terminate);
}

void claim_the_end() {
    if (stopping.test_and_set()) wait_for_the_end();  // a stop is under way
    if (const auto current = current_thread.load()) stopping_thread = current();
    run_ending = true;
}

void fatal(std::string_view message, std::source_location where) {
    const auto current = current_thread.load();
    if (stopping.test_and_set()) {
        // Another thread is ending the process: this one waits for the end. (Without thread
        // numbers, a stop after a claim is taken for the claiming thread's.)
        const bool this_thread =
            current != nullptr ? current() == stopping_thread : run_ending.load();
        if (!this_thread) wait_for_the_end();
        // A stop from within the stop (its writing failed in a way that stops again) ends here;
        // the thread that claimed the end goes on to stop like any other.
        if (!run_ending.exchange(false)) std::_Exit(EXIT_FATAL);
    }
    if (current != nullptr) stopping_thread = current();
    // Written piece by piece, with no buffer for the whole line: a stop made where the stack
    // has nearly run out still needs little of it. The place has '/' between its names, as on
    // every compiler.
    char numbers[48];
    const auto line_end = std::to_chars(numbers, numbers + 20, where.line()).ptr;
    *line_end = ':';
    auto end = std::to_chars(line_end + 1, line_end + 21, where.column()).ptr;
    *end++ = ':';
    *end++ = '\n';
    const auto write = write_diagnostic.load();
    write("\nthread '");
    write(current != nullptr && main_thread != 0 && current() == main_thread ? "main"
                                                                             : "<unnamed>");
    write("' stopped at ");
    for (std::string_view file = source_place(where.file_name()); !file.empty();) {
        const std::size_t name_end = std::min(file.find('\\'), file.size());
        write(file.substr(0, name_end));
        if (name_end < file.size()) write("/");
        file.remove_prefix(std::min(name_end + 1, file.size()));
    }
    write(":");
    write(std::string_view(numbers, end));
    write(message);
    write("\n");
    std::_Exit(EXIT_FATAL);
}

}  // namespace murv
