#!/bin/bash
# Runs every benchmark (bench/) and prints one table: what the tools cost beyond
# the drive, each row judged against a baseline taken in the same run. The
# benchmark programs measure, judge each row and print it as a line
# "ROW label | baseline | measured | ratio | target | verdict"; this script only
# runs them and gathers their rows. Sets up like scripts/test.sh: installs the
# packages, builds into build/, starts the build's Wine session and stops it at
# the end. The programs' whole output is kept in build/bench/output.txt, the
# table in build/bench/table.md, the flash run's timeline picture beside them.
#
#   scripts/bench.sh            runs them and prints the table
#   scripts/bench.sh --table    prints the last run's table again
#   scripts/bench.sh --report   runs them at the checked-out commit, on a quiet
#                               machine, and writes the table into
#                               docs/performance.md and the picture into docs/
#
# --report refuses a tree with changes not committed (the table names the
# commit it was taken at) and a machine whose load average over the last minute
# is above BENCH_QUIET_LOAD (0.5) before the run.
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
mode=${1:-}

# The table of a run's output ($1): its settings lines, then its rows.
print_table() {
    sed -n 's/^RUN \(.*\)$/\1  /p' "$1"
    echo
    echo "| Figure | Baseline | Measured | Ratio | Target | Met |"
    echo "|---|---|---|---|---|---|"
    sed -n 's/^ROW \(.*\)$/| \1 |/p' "$1"
}

case "$mode" in
--table)
    print_table "$out/output.txt"
    exit 0
    ;;
--report)
    if [ -n "$(git -C "$root" status --porcelain)" ]; then
        echo "bench.sh --report: the tree has changes not committed; the table is taken at a commit" >&2
        exit 1
    fi
    load=$(cut -d' ' -f1 /proc/loadavg)
    if awk -v load="$load" -v limit="${BENCH_QUIET_LOAD:-0.5}" 'BEGIN { exit !(load > limit) }'; then
        echo "bench.sh --report: the machine is not quiet (load average $load over the last minute)" >&2
        exit 1
    fi
    ;;
"") ;;
*)
    echo "usage: scripts/bench.sh [--table | --report]" >&2
    exit 2
    ;;
esac

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
    echo "RUN Benchmarks at commit $(git -C "$root" rev-parse --short HEAD)$(
        [ -n "$(git -C "$root" status --porcelain)" ] && echo " with changes not committed"),"
    echo "RUN from $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -sr)), $(wine --version 2>/dev/null);"
    echo "RUN load average before the run $(cut -d' ' -f1-3 /proc/loadavg)."
    if "$root/scripts/wine-machine.sh" emulated; then
        echo "RUN 32-bit programs run through qemu-i386 here: every figure includes qemu's emulation."
    fi
    echo "RUN Repetitions $repetitions; long runs $leak commands; slow flash runs $slow_repetitions"
    echo "RUN with block commands of $block_ms ms; CPU windows $cpu_windows x $cpu_seconds s each side."
} >"$output"
failed=0
run() {
    echo "== $*" | tee -a "$output"
    # Programs under Wine end their lines with a carriage return: taken off here.
    (cd "$build/bin" && "$build/winerun" "$@") | tr -d '\r' | tee -a "$output"
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then
        echo "!! $* failed"
        failed=1
    fi
}

run bench_transport.exe nt command "$repetitions" 2000
run bench_transport_9x.exe aspi command "$repetitions" 2000
run bench_transport.exe nt leak "$leak"
run bench_transport_9x.exe aspi leak "$leak"
run bench_tools.exe startup discmode "$repetitions"
run bench_tools.exe startup drvflash "$repetitions"
run bench_tools.exe flash "$repetitions"
run bench_tools.exe flash-slow "$slow_repetitions" "$block_ms" 'Z:'"${out//\//\\}"'\flash-timeline.svg'
run bench_tools.exe flash-cpu "$slow_repetitions" "$block_ms"
run bench_tools.exe idle "$cpu_seconds" "$cpu_windows"
echo "RUN Load average after the run $(cut -d' ' -f1-3 /proc/loadavg)." >>"$output"

print_table "$output" | tee "$out/table.md"
echo
echo "Timeline of a flash run: $out/flash-timeline.svg"
if grep -q '^ROW .*| \*\*failed measurement\*\*$' "$output"; then
    echo "!! some rows are failed measurements"
    failed=1
fi

if [ "$mode" = "--report" ]; then
    if [ $failed -ne 0 ]; then
        echo "bench.sh --report: docs/performance.md left as it was (the run failed)" >&2
        exit 1
    fi
    # The table replaces what stands between the two marker lines.
    doc="$root/docs/performance.md"
    awk -v table="$out/table.md" '
        /^<!-- table: scripts\/bench.sh --report writes from here -->$/ {
            print; while ((getline line < table) > 0) print line; skipping = 1; next
        }
        /^<!-- table: to here -->$/ { skipping = 0 }
        !skipping' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
    cp "$out/flash-timeline.svg" "$root/docs/flash-timeline.svg"
    echo "Wrote the table into $doc and the picture into docs/flash-timeline.svg"
fi
exit $failed
