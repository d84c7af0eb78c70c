// What the process sets up for the run before it opens a file or starts a program.
#pragma once

namespace murv::os {

// Sets this process up for the run, whatever its parent left it:
//  - where it was started without a standard stream, a placeholder takes its place, so that no
//    descriptor opened later becomes one (a report line or a diagnostic would go into it, and a
//    launched program would find it as its own); writes to a placeholder output still fail
//    (EBADF), as on the closed stream, and so do reads from a placeholder input;
//  - a write to a pipe whose reader has gone fails with an error instead of ending the process;
//  - children are this process's to wait for: a parent that ignores SIGCHLD (some CI agents
//    and daemons do, and exec keeps it) would have the kernel reap them, and every wait for a
//    launch or a shell would fail. Other inherited dispositions and the signal mask are kept:
//    nothing here waits for a signal. The programs the tool starts get the defaults and an
//    empty mask whatever this process has;
//  - every thread allocates from one arena of the C library's allocator (see the POSIX file);
//  - fatal stops get what they need of the platform (install_fatal_platform);
//  - a stack that runs out is a fatal stop (guard_stacks; POSIX), and so is a failed allocation
//    from before that set-up on (stop_fatally_when_exhausted).
void prepare_process();

}  // namespace murv::os
