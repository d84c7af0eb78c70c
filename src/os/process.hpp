// Starting a program and waiting for it, as the cold-start check does.
#pragma once

#include <cstdint>
#include <string>

#include "base/error.hpp"
#include "base/owned.hpp"

namespace murv::os {

class ExitStatus {
  public:
    static ExitStatus exited(int code) { return ExitStatus(code == 0); }
    static ExitStatus killed_by_signal() { return ExitStatus(false); }

    bool success() const { return success_; }

  private:
    explicit ExitStatus(bool success) : success_(success) {}
    bool success_;
};

// A started program. Dropping it neither ends nor waits for the program.
class Process {
  public:
    // `handle`, which it then owns, is the process's handle on Windows; null on POSIX.
    Process(std::uint32_t id, void* handle) : id_(id), handle_(handle) {}

    std::uint32_t id() const { return id_; }
    // Blocks until the program has exited and reaps it.
    Result<ExitStatus> wait();

  private:
    static void close_handle(void* handle);
    std::uint32_t id_;
    Owned<FreedBy<void*, close_handle>> handle_;
};

// Runs the path `program` with `argument`, this process's standard streams and nothing else.
Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument);

}  // namespace murv::os
