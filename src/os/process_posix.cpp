#include "os/posix.hpp"
#include "os/process.hpp"
#include "os/system_error.hpp"

extern char** environ;

namespace murv::os {
namespace {

int exec_program(const void* argv) {
    const auto arguments = static_cast<char* const*>(argv);
    ::execve(arguments[0], arguments, environ);
    return 0;
}

}  // namespace

void Process::close_handle(void*) {}

Result<ExitStatus> Process::wait() {
    return wait_for_child(static_cast<pid_t>(id_));
}

Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument) {
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                    nullptr};
    const auto started = start_child(exec_program, argv);
    if (!started) {
        // The system's error, without the words of the step that failed.
        const Error* cause = started.error().cause();
        return std::unexpected(cause != nullptr ? *cause : started.error());
    }
    if (!*started) return std::unexpected(system_error(started->error().error));
    return wait_for_child(**started);
}

}  // namespace murv::os
