// This process's standard output and error.
#pragma once

#include <string_view>

#include "base/error.hpp"

namespace murv::os {

enum class StandardStream { output, error };

// Writes all of `bytes`, unchanged (no line-end translation), straight to the stream. To a
// console on Windows they go as text, UTF-8 decoded.
Result<void> write_standard(StandardStream stream, std::string_view bytes);

// Gives fatal stops what they need of this platform: standard error written as write_standard
// writes, and thread numbers, both without allocating.
void install_fatal_platform();

// Sets the process's standard streams up for the run, before anything else opens a file:
//  - where the process was started without a standard stream, a placeholder takes its place,
//    so that no descriptor opened later becomes one (a report line or a diagnostic would go
//    into it, and a launched program would find it as its own); writes to a placeholder
//    output still fail (EBADF), as on the closed stream, and so do reads from a placeholder
//    input;
//  - a write to a pipe whose reader has gone fails with an error instead of ending the
//    process (programs the tool starts get the default disposition back);
//  - fatal stops get what they need of the platform (install_fatal_platform).
void prepare_standard_streams();

}  // namespace murv::os
