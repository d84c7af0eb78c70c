#!/bin/sh
# Terminal sessions of the Windows build under Wine: sessions_probe (the tool's session layer,
# cmd.exe as the idle check opens it) against floor_sessions (the same pseudo consoles in plain
# C), alternating, with no session and with five idle ones, ROUNDS rounds. Prints the medians
# as a Markdown table with each figure's target ratio: the working set of each whole process,
# what one session adds (the process with five minus the process with none, over five), the
# time of one open. The floor with no session is a plain mingw program that has started and
# waits, with the libraries it imports (advapi32, for the stored environment): Wine's own share
# of any such process, which the column "ours − floor" leaves out.
# The programs run without address-space layout randomisation, as sessions_bench runs its own:
# where Wine's libraries land moves the working set by tens of KiB from run to run.
# Usage: bench/sessions_bench_wine.sh [BUILD_DIR [ROUNDS]]   (build/windows-bench, 5)
set -eu
build=${1:-build/windows-bench}
rounds=${2:-5}
run="$build/wine-run"
for program in "$run" "$build/bench/sessions_probe.exe" "$build/bench/floor_sessions.exe"; do
    if [ ! -f "$program" ]; then
        echo "no $program: cmake --preset windows-bench && cmake --build --preset windows-bench" >&2
        exit 2
    fi
done
# One line of figures per run: "PROGRAM SESSIONS open_us rss_bytes reap_us".
figures=$(mktemp)
# One server for the whole run, so that no run pays for the server's start.
"$run" --start-server
trap '"$run" --stop-server; rm -f "$figures"' EXIT
measure() {
    line=$(setarch "$(uname -m)" -R "$run" "$build/bench/$1.exe" "$2" 2000) || {
        echo "$1 $2 failed" >&2
        exit 2
    }
    echo "$1 $2 $line" | sed 's/[a-z_]*=//g' >>"$figures"
}
round=0
while [ "$round" -lt "$rounds" ]; do
    for sessions in 0 5; do
        measure sessions_probe "$sessions"
        measure floor_sessions "$sessions"
    done
    round=$((round + 1))
done

awk -v rounds="$rounds" -v date="$(date -u +%Y-%m-%d)" -v wine="$("$run" --version)" '
function median(list,    n, i, j, v, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
function row(figure, key, unit, scale, format, target,    a, b) {
    a = median(values["sessions_probe", key]) / scale
    b = median(values["floor_sessions", key]) / scale
    printf "| %s | " format " %s | " format " %s | " format " %s | %.2f | %s |\n", figure, a, unit, b, unit, a - b, unit, a / b, target
}
{
    program = $1; sessions = $2; count[program, sessions]++
    if (sessions == 0) { none[program, count[program, 0]] = $4; values[program, "none"] = values[program, "none"] " " $4 }
    else {
        values[program, "five"] = values[program, "five"] " " $4
        values[program, "added"] = values[program, "added"] " " ($4 - none[program, count[program, 5]]) / sessions
        values[program, "open"] = values[program, "open"] " " $3 / sessions
    }
}
END {
    printf "%s, %s; ours and the floor alternating, medians of %d runs each with none and with five idle sessions:\n\n", date, wine, rounds
    print "| figure | ours | floor | ours − floor | ratio | target |"
    print "| --- | --- | --- | --- | --- | --- |"
    row("whole process, five idle sessions", "five", "MiB", 1048576, "%.2f", "≤ 1.15")
    row("whole process, no session", "none", "MiB", 1048576, "%.2f", "—")
    row("working set one session adds", "added", "KiB", 1024, "%.0f", "≤ 1.2")
    row("one open", "open", "ms", 1000, "%.1f", "≤ 1.2")
}' "$figures"
