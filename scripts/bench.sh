#!/bin/bash
# Runs every benchmark (bench/) and gathers the rows the programs measure, judge
# and print ("ROW label | baseline | measured | ratio | target | verdict") into
# one table (README.md, "Benchmarks"), in BUILD/bench. Builds first (build.sh, or
# cmake --build in BENCH_BUILD). Sizes: BENCH_REPETITIONS, BENCH_LEAK_COMMANDS,
# BENCH_SLOW_REPETITIONS, BENCH_BLOCK_MS, BENCH_CPU_WINDOWS, BENCH_CPU_SECONDS.
# --report needs a clean commit and a load average at most BENCH_QUIET_LOAD;
# --smoke BUILD (ctest's bench_smoke) runs one of each kind, tiny, in BUILD as
# built. Exits 1 when a program fails or a row is missing or a failed measurement.
#
#   scripts/bench.sh [--table | --report | --smoke BUILD]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
build=${BENCH_BUILD:-$root/build}
[ "$mode" != --smoke ] || build=${2:?usage: scripts/bench.sh --smoke BUILD}
build=$(cd "$build" && pwd) || exit 1
out="$build/bench"
repetitions=${BENCH_REPETITIONS:-5} commands=2000 leak=${BENCH_LEAK_COMMANDS:-100000}
slow_repetitions=${BENCH_SLOW_REPETITIONS:-3} block_ms=${BENCH_BLOCK_MS:-1000}
cpu_windows=${BENCH_CPU_WINDOWS:-5} cpu_seconds=${BENCH_CPU_SECONDS:-10}

print_table() { # of a run's output $1: its settings lines, then its rows
    sed -n 's/^RUN \(.*\)$/\1  /p' "$1"
    printf '\n| Figure | Baseline | Measured | Ratio | Target | Met |\n|---|---|---|---|---|---|\n'
    sed -n 's/^ROW \(.*\)$/| \1 |/p' "$1"
}
case "$mode" in
--table) print_table "$out/output.txt"; exit 0 ;;
--report)
    load=$(cut -d' ' -f1 /proc/loadavg) why=""
    awk -v load="$load" -v limit="${BENCH_QUIET_LOAD:-0.5}" 'BEGIN { exit !(load > limit) }' &&
        why="the machine is not quiet (load average $load over the last minute)"
    [ -z "$(git -C "$root" status --porcelain)" ] ||
        why="the tree has changes not committed; the table is taken at a commit"
    [ -z "$why" ] || { echo "bench.sh --report: $why" >&2; exit 1; } ;;
--smoke) # no time is judged at this size
    out="$build/bench-smoke" repetitions=1 commands=50 leak=50 slow_repetitions=1 block_ms=20
    cpu_windows=1 cpu_seconds=2 ;;
"") ;;
*) echo "usage: scripts/bench.sh [--table | --report | --smoke BUILD]" >&2; exit 2 ;;
esac
if [ "$mode" != --smoke ]; then
    if [ -n "${BENCH_BUILD:-}" ]; then cmake --build "$build" -j"$(nproc)" --target bench_tools bench_transport_copy
    else "$root/scripts/build.sh"; fi || exit 1
    # winerun starts the build's Wine session; it ends with this run.
    trap '"$root/scripts/wine-session.sh" stop "$build"' EXIT
fi
output="$out/output.txt" timeline="$out/flash-timeline.svg"
mkdir -p "$out" && rm -f "$timeline" || exit 1
{
    echo "RUN Benchmarks at commit $(git -C "$root" rev-parse --short HEAD)$(
        [ -n "$(git -C "$root" status --porcelain)" ] && echo " with changes not committed"),"
    echo "RUN from $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -sr)), $(wine --version 2>/dev/null);"
    echo "RUN load average before the run $(cut -d' ' -f1-3 /proc/loadavg)."
    "$root/scripts/wine-machine.sh" emulated &&
        echo "RUN 32-bit programs run through qemu-i386 here: every figure includes qemu's emulation."
    echo "RUN Repetitions $repetitions; long runs $leak commands; slow flash runs $slow_repetitions"
    echo "RUN with block commands of $block_ms ms; CPU windows $cpu_windows x $cpu_seconds s each side."
} >"$output"
failed=0
# run all|full ROW... -- PROGRAM ARGUMENT...: the program (in BUILD/bin, under
# Wine) must end with 0 and report a row matching each ROW; the smoke check runs
# one of each kind (all), not the second start-up and flash runs (full). Rows are
# read from standard output alone (Wine's messages on standard error may fall
# inside a line), without the carriage returns of Windows programs.
run() {
    local rows=() row status
    [ "$1" = all ] || [ "$mode" != --smoke ] || return 0
    shift
    while [ "$1" != -- ]; do rows+=("$1") && shift; done
    shift
    echo "== $*" | tee -a "$output"
    (cd "$build/bin" && "$build/winerun" "$@") | tr -d '\r' | tee "$out/last.txt"
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || { echo "!! $*: expected exit code 0, saw $status"; failed=1; }
    cat "$out/last.txt" >>"$output"
    for row in "${rows[@]}"; do
        grep -Eq "^ROW $row" "$out/last.txt" ||
            { echo "!! $*: expected the row '$row', not reported"; failed=1; }
    done
}
leak_rows=("handles added" "live heap bytes" "private bytes" "requests left")
run all "one command, NT path" -- bench_transport.exe nt command "$repetitions" "$commands"
run all "one command, Windows 9x path" -- bench_transport_9x.exe aspi command "$repetitions" "$commands"
run all "${leak_rows[@]/#/NT .*: }" -- bench_transport.exe nt leak "$leak"
run all "${leak_rows[@]/#/Windows 9x .*: }" -- bench_transport_9x.exe aspi leak "$leak"
run full "start-up to Ready, discmode" -- bench_tools.exe startup discmode "$repetitions"
run all "start-up to Ready, drvflash" -- bench_tools.exe startup drvflash "$repetitions"
run full "flash run, instant drive" -- bench_tools.exe flash "$repetitions"
run all "flash run, block commands" -- \
    bench_tools.exe flash-slow "$slow_repetitions" "$block_ms" "Z:${timeline//\//\\}"
run all "CPU, drvflash" -- bench_tools.exe flash-cpu "$slow_repetitions" "$block_ms"
run all "CPU, discmode" -- bench_tools.exe idle "$cpu_seconds" "$cpu_windows"
echo "RUN Load average after the run $(cut -d' ' -f1-3 /proc/loadavg)." >>"$output"

print_table "$output" | tee "$out/table.md"
if grep -q '<polyline' "$timeline" 2>/dev/null; then
    printf '\nTimeline of a flash run: %s\n' "$timeline"
else
    echo "!! expected the flash timeline picture with its bar line at $timeline, none written"
    failed=1
fi
if grep '^ROW .*| \*\*failed measurement\*\*$' "$output"; then
    echo "!! expected measurements, saw the failed measurements above"
    failed=1
fi
if [ "$mode" = --report ]; then
    [ $failed -eq 0 ] ||
        { echo "bench.sh --report: docs/performance.md left as it was (the run failed)" >&2; exit 1; }
    # The table replaces what stands between the two marker lines.
    doc="$root/docs/performance.md"
    awk -v table="$out/table.md" '
        /^<!-- table: scripts\/bench.sh --report writes from here -->$/ {
            print; while ((getline line < table) > 0) print line; skipping = 1; next
        }
        /^<!-- table: to here -->$/ { skipping = 0 }
        !skipping' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
    cp "$timeline" "$root/docs/flash-timeline.svg"
    echo "Wrote the table into $doc and the picture into docs/flash-timeline.svg"
fi
exit $failed
