#!/bin/bash
# The benchmarks' smoke check (ctest, label bench): every benchmark program once,
# tiny, under Wine against the emulator. It passes when each program ends with 0
# and reports each of its figures with a number; no time is asserted.
#
#   smoke.sh BUILD_DIR
set -u
build=$1
cd "$build/bin" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-smoke.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failed=0

# run NAME FIGURES... -- PROGRAM ARGS...
run() {
    local name=$1 figures=() figure
    shift
    while [ "$1" != "--" ]; do figures+=("$1"); shift; done
    shift
    # The figures from standard output alone: Wine's own messages on standard error
    # (the tools the benchmark starts and ends share it) may fall inside a line.
    "$build/winerun" "$@" >"$work/$name.out" 2>"$work/$name.err"
    local status=$?
    if [ $status -ne 0 ]; then
        echo "FAIL $name: expected exit code 0, saw $status"; cat "$work/$name.out" "$work/$name.err"
        failed=1
        return
    fi
    for figure in "${figures[@]}"; do
        if ! grep -Eq "^FIGURE $figure -?[0-9.]+ -?[0-9.]+ " "$work/$name.out"; then
            echo "FAIL $name: expected the figure $figure, not reported"
            cat "$work/$name.out" "$work/$name.err"
            failed=1
        fi
    done
    grep '^FIGURE' "$work/$name.out"
}

leak=(leak_handles leak_private leak_working_set leak_requests)
threads=(threads_private threads_working_set)
run nt nt_command nt_command_vs_sync "${leak[@]/#/nt_}" "${threads[@]}" -- bench_transport.exe nt smoke 50
run aspi aspi_command "${leak[@]/#/aspi_}" "${threads[@]}" -- bench_transport_9x.exe aspi smoke 20
run tools startup_drvflash flash_slow drvflash_cpu drvflash_cpu_raw emulator_cpu_per_command \
    discmode_cpu discmode_cpu_raw discmode_polls -- bench_tools.exe smoke bench-smoke-timeline.svg
if ! grep -q '<polyline' bench-smoke-timeline.svg 2>/dev/null; then
    echo "FAIL tools: expected the flash timeline picture with its bar line, none written"
    failed=1
fi
rm -f bench-smoke-timeline.svg
exit $failed
