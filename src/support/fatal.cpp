#include "support/fatal.hpp"

#include <cstdlib>

#include <fmt/format.h>

#include "support/platform.hpp"

namespace murv {
namespace {
thread_local const char* thread_name = "<unnamed>";
}  // namespace

void name_this_thread_main() {
    thread_name = "main";
}

void fatal(std::string_view message, std::source_location where) {
    const std::string diagnostic =
        fmt::format("\nthread '{}' stopped at {}:{}:{}:\n{}\n", thread_name, where.file_name(),
                    where.line(), where.column(), message);
    // Nothing is left to tell if standard error cannot be written either.
    (void)write_standard(StandardStream::error, diagnostic);
    std::_Exit(FATAL_EXIT_STATUS);
}

}  // namespace murv
