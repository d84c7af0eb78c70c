// Fatal stops: a diagnostic on standard error, then the process ends at once with
// EXIT_FATAL, whichever thread makes the stop.
#pragma once

#include <source_location>
#include <string_view>

namespace murv {

// Writes an empty line, "thread 'NAME' stopped at FILE:LINE:COLUMN:" and `message` to standard
// error and ends the process with EXIT_FATAL at once, allocating nothing (memory may have run
// out). A second stopping thread waits for the end; a stop within a stop ends at once.
[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current());

// Claims the end of the process for the calling thread, before the run writes its last lines:
// from then on a stop on any other thread waits for the end instead of making it, so that what
// the run writes is its last word and its status the run's. A stop on this thread still stops.
void claim_the_end();

// Names the calling thread "main" in diagnostics; other threads are "<unnamed>". Needs the
// platform's thread numbers (see set_fatal_platform); without them every thread is unnamed.
void name_this_thread_main();

// Makes a failed allocation and an uncaught exception fatal stops on every thread ("memory
// allocation failed", "uncaught exception: " and its text), not std::terminate's SIGABRT.
void stop_fatally_when_exhausted();

// What fatal stops need of the system, allocating nothing: writing bytes to standard error, the
// calling thread's number (none: all unnamed), and a long block of the calling thread (none: the
// library's sleep). The os layer installs them at start; until then stderr's stdio is used.
struct FatalPlatform {
    void (*write_diagnostic)(std::string_view bytes) noexcept;
    unsigned long long (*current_thread)() noexcept;
    void (*pause)() noexcept = nullptr;
};
void set_fatal_platform(FatalPlatform platform);

}  // namespace murv
