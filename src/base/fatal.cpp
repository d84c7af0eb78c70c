#include "base/fatal.hpp"

#include <atomic>
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

thread_local const char* thread_name = "<unnamed>";

void write_to_stderr(std::string_view bytes) noexcept {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

std::atomic<DiagnosticWriter> diagnostic_writer = write_to_stderr;

void on_allocation_failure() {
    fatal("memory allocation failed");
}

void on_terminate() {
    // Its text into a buffer of its own: the message may be written while memory has run out.
    char text[512];
    std::string_view message = "terminate called without an active exception";
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
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

}  // namespace

void name_this_thread_main() {
    thread_name = "main";
}

void set_diagnostic_writer(DiagnosticWriter writer) {
    diagnostic_writer = writer;
}

void stop_fatally_when_exhausted() {
    std::set_new_handler(on_allocation_failure);
    std::set_terminate(on_terminate);
}

void fatal(std::string_view message, std::source_location where) {
    static std::atomic_flag stopping;
    if (stopping.test_and_set()) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    // The source place fits a fixed buffer: a file name is a path, and paths are bounded.
    char place[4200];
    const auto end = fmt::format_to_n(place, sizeof place, "\nthread '{}' stopped at {}:{}:{}:\n",
                                      thread_name, where.file_name(), where.line(), where.column());
    const DiagnosticWriter write = diagnostic_writer;
    write(std::string_view(place, end.out));
    write(message);
    write("\n");
    std::_Exit(EXIT_FATAL);
}

}  // namespace murv
