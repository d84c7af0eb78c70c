// Run in place of a shell or of the application, it reports what it was started with, one
// "name=value" line each, to $PROBE_OUT, else to a file named by its pid in $PROBE_DIR, else to
// stdout. PROBE_EXIT=N: it exits with N. Started without arguments, as a shell is, it then
// reads its input until that ends (PROBE_LINGER) or writes without pause until that fails
// (PROBE_FLOOD).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string("=") + value : " unset";
}

// Up to the same bound as the tests' launches close descriptors to.
std::string open_descriptors() {
    std::string list;
    for (long fd = 0; fd < std::min(::sysconf(_SC_OPEN_MAX), 65536L); ++fd) {
        if (::fcntl(static_cast<int>(fd), F_GETFD) >= 0)
            list += (list.empty() ? "" : ",") + std::to_string(fd);
    }
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    std::string report = "pid=" + std::to_string(::getpid()) + "\n";
    report += "argc=" + std::to_string(argc) + "\n";
    for (int i = 1; i < argc; ++i)
        report += "arg" + std::to_string(i) + "=" + argv[i] + "\n";
    for (const char* name : {"TERM", "MURV", "LANG", "LC_CTYPE"})
        report += std::string(name) + variable(name) + "\n";
    report += "fds=" + open_descriptors() + "\n";

    winsize size{};
    if (::ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0)
        report += "size=" + std::to_string(size.ws_row) + "x" + std::to_string(size.ws_col) + "\n";
    const bool leader = ::getsid(0) == ::getpid();
    report += std::string("controlling_terminal=") +
              (leader && ::tcgetsid(STDIN_FILENO) == ::getpid() ? "yes" : "no") + "\n";

    sigset_t mask;
    ::sigprocmask(SIG_BLOCK, nullptr, &mask);
    bool blocked = false, ignored = false;
    struct sigaction action;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal == SIGKILL || signal == SIGSTOP) continue;
        blocked = blocked || sigismember(&mask, signal) == 1;
        ignored =
            ignored || (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN);
    }
    report += std::string("blocked_signals=") + (blocked ? "some" : "none") + "\n";
    report += std::string("ignored_signals=") + (ignored ? "some" : "none") + "\n";
    char cwd[4096];
    report += std::string("cwd=") + (::getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    report += "done\n";

    const char* dir = std::getenv("PROBE_DIR");
    const std::string out_path = std::getenv("PROBE_OUT") ? std::getenv("PROBE_OUT")
                                 : dir ? std::string(dir) + "/" + std::to_string(::getpid())
                                       : "";
    FILE* file = out_path.empty() ? stdout : std::fopen(out_path.c_str(), "w");
    std::fputs(report.c_str(), file);
    file == stdout ? std::fflush(file) : std::fclose(file);

    if (argc == 1 && std::getenv("PROBE_LINGER")) {
        char buffer[256];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
    } else if (argc == 1 && std::getenv("PROBE_FLOOD")) {
        const std::string line(4096, 'y');
        while (::write(STDOUT_FILENO, line.data(), line.size()) > 0) {
        }
    }
    const char* exit_code = std::getenv("PROBE_EXIT");
    return exit_code != nullptr ? std::atoi(exit_code) : 0;
}
