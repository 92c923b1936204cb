#!/bin/bash
# Runs every benchmark and prints one table: what the tools cost beyond the
# drive, each figure beside a baseline taken in the same run. The benchmark
# programs measure, judge each row against its target and print it as a line
# "ROW label | baseline | measured | ratio | target | verdict"; this script only
# runs them and gathers their rows. Sets up like scripts/test.sh: installs the
# packages, builds into build/, starts the build's Wine session and stops it at
# the end. The programs' whole output is kept in build/bench/output.txt, the
# table in build/bench/table.md, the flash run's timeline picture beside them.
#
#   scripts/bench.sh            runs them and prints the table
#   scripts/bench.sh --table    prints the last run's table again
#
# Environment: BENCH_BUILD (a build directory already configured; built here
# with cmake --build instead of scripts/build.sh into build/), BENCH_REPETITIONS
# (default 5), BENCH_LEAK_COMMANDS (100000), BENCH_SLOW_REPETITIONS (3),
# BENCH_BLOCK_MS (1000), BENCH_CPU_WINDOWS (5), BENCH_CPU_SECONDS (10).
#
# Exits 1 when a program could not run or a row is a failed measurement; a
# missed target is shown in its row and does not fail the run.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
[ -n "${BENCH_BUILD:-}" ] && { build=$(cd "$BENCH_BUILD" && pwd) || exit 1; }
out="$build/bench"

# The table of a run's output ($1): its settings lines, then its rows.
print_table() {
    echo
    sed -n 's/^RUN //p' "$1"
    echo
    echo "| Figure | Baseline | Measured | Ratio | Target | Met |"
    echo "|---|---|---|---|---|---|"
    sed -n 's/^ROW \(.*\)$/| \1 |/p' "$1"
}

if [ "${1:-}" = "--table" ]; then
    print_table "$out/output.txt"
    exit 0
fi

if [ -n "${BENCH_BUILD:-}" ]; then
    cmake --build "$build" -j"$(nproc)" --target bench_tools bench_transport_copy || exit 1
else
    "$root/scripts/build.sh" || exit 1
fi

repetitions=${BENCH_REPETITIONS:-5}
leak=${BENCH_LEAK_COMMANDS:-100000}
slow_repetitions=${BENCH_SLOW_REPETITIONS:-3}
block_ms=${BENCH_BLOCK_MS:-1000}
cpu_windows=${BENCH_CPU_WINDOWS:-5}
cpu_seconds=${BENCH_CPU_SECONDS:-10}

mkdir -p "$out"
output="$out/output.txt"
trap '"$root/scripts/wine-session.sh" stop "$build"' EXIT
"$root/scripts/wine-session.sh" start "$build" || exit 1

{
    echo "RUN Benchmarks from $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -sr));"
    echo "RUN $(wine --version 2>/dev/null), load average before the run $(cut -d' ' -f1-3 /proc/loadavg)."
    if "$root/scripts/wine-machine.sh" emulated; then
        echo "RUN 32-bit programs run through qemu-i386 here: every figure includes qemu's emulation."
    fi
    echo "RUN Repetitions $repetitions; long runs $leak commands; slow flash runs $slow_repetitions"
    echo "RUN with block commands of $block_ms ms; CPU windows $cpu_windows x $cpu_seconds s each side."
} >"$output"
failed=0
run() {
    echo "== $*" | tee -a "$output"
    (cd "$build/bin" && "$build/winerun" "$@") | tee -a "$output"
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then
        echo "!! $* failed"
        failed=1
    fi
}

run bench_transport.exe nt command "$repetitions" 2000
run bench_transport_9x.exe aspi command "$repetitions" 2000
run bench_transport.exe nt leak "$leak"
run bench_transport_9x.exe aspi leak "$leak"
run bench_transport.exe nt threads 2000
run bench_transport_9x.exe aspi threads 2000
run bench_tools.exe startup discmode "$repetitions"
run bench_tools.exe startup drvflash "$repetitions"
run bench_tools.exe flash "$repetitions"
run bench_tools.exe flash-slow "$slow_repetitions" "$block_ms" 'Z:'"${out//\//\\}"'\flash-timeline.svg'
run bench_tools.exe flash-cpu "$slow_repetitions" "$block_ms"
run bench_tools.exe idle "$cpu_seconds" "$cpu_windows"

print_table "$output" | tee "$out/table.md"
echo
echo "Timeline of a flash run: $out/flash-timeline.svg"
if grep -q '^ROW .*| \*\*failed measurement\*\*$' "$output"; then
    echo "!! some rows are failed measurements"
    failed=1
fi
exit $failed
