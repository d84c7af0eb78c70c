// Fatal stops: a diagnostic on standard error, then the process ends at once with
// EXIT_FATAL, whichever thread makes the stop.
#pragma once

#include <source_location>
#include <string_view>

namespace murv {

// Writes an empty line, "thread 'NAME' stopped at FILE:LINE:COLUMN:" and `message` on a line
// of its own to standard error, then ends the process with EXIT_FATAL without any further
// clean-up. It allocates nothing, so that it serves when memory has run out too. A second
// thread that stops while the first is writing waits for the end instead of mixing its lines in;
// a stop made while its own thread is already stopping ends the process at once.
[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current());

// Claims the end of the process for the calling thread, before the run writes its last lines:
// from then on a stop on any other thread waits for the end instead of making it, so that what
// the run writes is its last word and its status the run's. A stop on this thread still stops.
void claim_the_end();

// Names the calling thread "main" in diagnostics; other threads are "<unnamed>". Needs the
// platform's thread numbers (see set_fatal_platform); without them every thread is unnamed.
void name_this_thread_main();

// Makes an allocation that fails, and an exception that nothing catches, fatal stops on every
// thread ("memory allocation failed", or "uncaught exception: " and its text) instead of an
// end by std::terminate and SIGABRT.
void stop_fatally_when_exhausted();

// What fatal stops need of the operating system, without allocating: writing the diagnostic's
// bytes unchanged to standard error, the calling thread's number (none: every thread unnamed),
// and blocking the calling thread for a long while (none: the C++ library's sleep), which a
// thread that waits for the end does over and over. The os layer installs them at start;
// until then diagnostics go through the C library's standard error.
struct FatalPlatform {
    void (*write_diagnostic)(std::string_view bytes) noexcept;
    unsigned long long (*current_thread)() noexcept;
    void (*pause)() noexcept = nullptr;
};
void set_fatal_platform(FatalPlatform platform);

}  // namespace murv
