// Runs sessions_probe (the tool's session layer) and bare_sessions (the same five sessions in
// plain C) in turn, one pair per iteration, and reports each figure with its ratio:
//   open_ms   five opens, target <= 5 ms;
//   reap_ms   last close until all five shells are reaped, target <= 100 ms;
//   rss_mb    resident memory with five idle sessions after 2 s, as the report computes it,
//             target <= 4 MB.
#include <cstdio>
#include <memory>
#include <string>

#include <stdlib.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

struct Figures {
    double open_us = 0;
    double rss_bytes = 0;
    double reap_us = 0;
};

Figures run(const std::string& program) {
    const std::string command = program + " 2000";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    Figures figures;
    unsigned long long rss = 0;
    if (!pipe || std::fscanf(pipe.get(), "open_us=%lf rss_bytes=%llu reap_us=%lf", &figures.open_us,
                             &rss, &figures.reap_us) != 3) {
        return {};
    }
    figures.rss_bytes = static_cast<double>(rss);
    return figures;
}

void FiveIdleSessions(benchmark::State& state) {
    // The shells read no start-up files of the user's: their cost is not the session layer's.
    char home[] = "/tmp/sessions_bench.XXXXXX";
    if (::mkdtemp(home) == nullptr || ::setenv("HOME", home, 1) != 0) state.SkipWithError("HOME");
    Figures tool, bare;
    for (auto _ : state) {
        const Figures t = run(SESSIONS_PROBE_PATH);
        const Figures b = run(BARE_SESSIONS_PATH);
        if (t.rss_bytes == 0 || b.rss_bytes == 0) state.SkipWithError("a probe failed");
        tool.open_us += t.open_us, tool.rss_bytes += t.rss_bytes, tool.reap_us += t.reap_us;
        bare.open_us += b.open_us, bare.rss_bytes += b.rss_bytes, bare.reap_us += b.reap_us;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["open_ms"] = tool.open_us / n / 1e3;
    state.counters["open_ratio"] = tool.open_us / bare.open_us;
    state.counters["reap_ms"] = tool.reap_us / n / 1e3;
    state.counters["reap_ratio"] = tool.reap_us / bare.reap_us;
    state.counters["rss_mb"] = tool.rss_bytes / n / (1 << 20);
    state.counters["rss_bytes"] = tool.rss_bytes / n;
    state.counters["bare_rss_bytes"] = bare.rss_bytes / n;
    state.counters["rss_ratio"] = tool.rss_bytes / bare.rss_bytes;
    ::rmdir(home);
}
BENCHMARK(FiveIdleSessions)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
