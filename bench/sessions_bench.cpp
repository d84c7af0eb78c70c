// The benchmarks, in one run, printed as the README's table: the cold start's launch-and-wait
// against a bare posix_spawn + waitpid, and terminal sessions through the tool's session layer
// (sessions_probe) against the floor (floor_sessions, the same work in plain C), for each shell:
//   - one open: the time of five opens over five;
//   - what one session adds to the resident memory: the process with five idle sessions minus
//     the process with none, over five;
//   - the whole process with five idle sessions;
//   - the last close until all five shells are reaped.
// Ours and the floor alternate, run by run, so that the ratios hold while the machine drifts.
// The programs run without address-space layout randomisation: the kernel maps the pages of a
// program's files in windows of 64 KiB of address space around each page it runs, so where a
// library lands moves the resident figure by tens of KiB from run to run; at one place, every
// run of a program gives the same figure.
// Usage: sessions_bench [OPEN_RUNS [SHELL...]]; the shells run with an empty HOME, so that no
// start-up file of the user's is measured.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <stdlib.h>
#include <sys/personality.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fmt/format.h>

#include "os/posix.hpp"
#include "os/process.hpp"

extern char** environ;

namespace {

constexpr int SESSIONS = 5;
// Memory is read after the idle check's two seconds, a few rounds: each gives the same figure
// (see below). The time of an open varies from run to run, and is taken from many more runs
// that do not idle.
constexpr const char* IDLE_MS = "2000";
constexpr int MEMORY_ROUNDS = 3;

struct Run {
    double open_us = 0;
    double rss_bytes = 0;
    double reap_us = 0;
};

Run run(const char* program, int sessions, const char* idle_ms) {
    const std::string command = fmt::format("{} {} {}", program, sessions, idle_ms);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    Run figures;
    unsigned long long rss = 0;
    if (!pipe || std::fscanf(pipe.get(), "open_us=%lf rss_bytes=%llu reap_us=%lf", &figures.open_us,
                             &rss, &figures.reap_us) != 3) {
        std::fprintf(stderr, "%s failed\n", command.c_str());
        std::exit(2);
    }
    figures.rss_bytes = static_cast<double>(rss);
    return figures;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The figures of one program with one shell, a value per round.
struct Series {
    std::vector<double> open_ms, added_kib, whole_mb, reap_ms;

    void add_idle(const Run& none, const Run& five) {
        added_kib.push_back((five.rss_bytes - none.rss_bytes) / SESSIONS / 1024);
        whole_mb.push_back(five.rss_bytes / (1 << 20));
        reap_ms.push_back(five.reap_us / 1e3);
    }
    void add_opens(const Run& five) { open_ms.push_back(five.open_us / SESSIONS / 1e3); }
};

std::string row(const std::string& figure, const std::vector<double>& ours,
                const std::vector<double>& floor, const char* unit, const char* target) {
    const double a = median(ours), b = median(floor);
    return fmt::format("| {} | {:.2f} {} | {:.2f} {} | {:.2f} | {} |\n", figure, a, unit, b, unit,
                       a / b, target);
}

// The launch and wait of a static program that exits at once: the cold start's own against a
// bare posix_spawn and waitpid, alternating, a pair at a time. Microseconds, ours and bare.
std::pair<double, double> launch_and_wait(int pairs) {
    using Clock = std::chrono::steady_clock;
    const std::string program = TRIVIAL_PATH;
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--version"), nullptr};
    Clock::duration ours{}, bare{};
    for (int i = 0; i < pairs; ++i) {
        const auto start = Clock::now();
        const auto status = murv::os::run_to_exit(program, "--version");
        const auto middle = Clock::now();
        pid_t pid;
        if (!status || !status->success() ||
            ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
            std::exit(2);
        }
        (void)murv::os::wait_for_child(pid);
        ours += middle - start;
        bare += Clock::now() - middle;
    }
    const auto micros = [&](Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count() / pairs;
    };
    return {micros(ours), micros(bare)};
}

std::string first_line_with(const char* path, const std::string& key) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(key)) return line.substr(line.find_first_of(":=") + 1);
    }
    return "?";
}

std::string machine() {
    utsname system{};
    ::uname(&system);
    std::string cpu = first_line_with("/proc/cpuinfo", "model name");
    cpu.erase(0, cpu.find_first_not_of(' '));
    std::string os = first_line_with("/etc/os-release", "PRETTY_NAME");
    std::erase(os, '"');
    return fmt::format("{} cores ({}), Linux {}, {}, g++ {}", std::thread::hardware_concurrency(),
                       cpu, system.release, os, __VERSION__);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    std::vector<std::string> shells;
    for (int i = 2; i < argc; ++i)
        shells.push_back(argv[i]);
    if (shells.empty()) shells = {"/bin/sh", "/bin/bash"};
    if (::personality(ADDR_NO_RANDOMIZE) < 0) return 2;  // for the programs it starts
    char home[] = "/tmp/sessions_bench.XXXXXX";
    if (::mkdtemp(home) == nullptr || ::setenv("HOME", home, 1) != 0) return 2;

    const auto [launch_ours, launch_bare] = launch_and_wait(2000);
    std::string rows;
    for (const std::string& shell : shells) {
        ::setenv("SHELL", shell.c_str(), 1);
        Series ours, floor;
        for (int round = 0; round < MEMORY_ROUNDS; ++round) {
            const Run ours_none = run(SESSIONS_PROBE_PATH, 0, IDLE_MS);
            const Run floor_none = run(FLOOR_SESSIONS_PATH, 0, IDLE_MS);
            const Run ours_five = run(SESSIONS_PROBE_PATH, SESSIONS, IDLE_MS);
            const Run floor_five = run(FLOOR_SESSIONS_PATH, SESSIONS, IDLE_MS);
            ours.add_idle(ours_none, ours_five);
            floor.add_idle(floor_none, floor_five);
        }
        for (int round = 0; round < rounds; ++round) {
            ours.add_opens(run(SESSIONS_PROBE_PATH, SESSIONS, "0"));
            floor.add_opens(run(FLOOR_SESSIONS_PATH, SESSIONS, "0"));
        }
        const std::string name = shell.substr(shell.rfind('/') + 1);
        rows += row("one open, " + name, ours.open_ms, floor.open_ms, "ms", "≤ 1.2");
        rows += row("resident memory one session adds, " + name, ours.added_kib, floor.added_kib,
                    "KiB", "≤ 1.2");
        rows += row("whole process, five idle sessions, " + name, ours.whole_mb, floor.whole_mb,
                    "MiB", "≤ 1.5");
        rows += row("last close to all five reaped, " + name, ours.reap_ms, floor.reap_ms, "ms",
                    "≤ 100 ms");
    }
    ::rmdir(home);

    char date[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
    std::printf(
        "%s, %s; ours and the floor alternating: opens, medians of %d runs of five; memory and "
        "reaping, medians of %d runs with and without five idle sessions:\n\n",
        date, machine().c_str(), rounds, MEMORY_ROUNDS);
    std::printf("| figure | ours | floor | ratio | target |\n| --- | --- | --- | --- | --- |\n");
    std::printf("| launch and wait | %.0f µs | %.0f µs | %.2f | ≤ 1.10 |\n", launch_ours,
                launch_bare, launch_ours / launch_bare);
    std::fputs(rows.c_str(), stdout);
}
