#!/bin/bash
# The benchmarks' smoke check (ctest, label bench): every benchmark program once,
# tiny, under Wine against the emulator. It passes when each program ends with 0
# and reports each of its rows, none of them a failed measurement; a missed
# target is no failure here (no time is asserted at this size).
#
#   smoke.sh BUILD_DIR
set -u
build=$1
cd "$build/bin" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-smoke.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failed=0

# run NAME ROW_PATTERNS... -- PROGRAM ARGS...
run() {
    local name=$1 rows=() row
    shift
    while [ "$1" != "--" ]; do rows+=("$1"); shift; done
    shift
    # The rows from standard output alone: Wine's own messages on standard error
    # (the tools the benchmark starts and ends share it) may fall inside a line.
    "$build/winerun" "$@" 2>"$work/$name.err" | tr -d '\r' >"$work/$name.out"
    local status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ]; then
        echo "FAIL $name: expected exit code 0, saw $status"; cat "$work/$name.out" "$work/$name.err"
        failed=1
        return
    fi
    for row in "${rows[@]}"; do
        if ! grep -Eq "^ROW $row" "$work/$name.out"; then
            echo "FAIL $name: expected the row '$row', not reported"
            failed=1
        fi
    done
    if grep -q '^ROW .*| \*\*failed measurement\*\*$' "$work/$name.out"; then
        echo "FAIL $name: expected measurements, saw rows of failed measurements:"
        grep '^ROW .*| \*\*failed measurement\*\*$' "$work/$name.out"
        cat "$work/$name.err"
        failed=1
    fi
    grep '^ROW' "$work/$name.out"
}

leak=("handles added" "live heap bytes" "private bytes" "requests left")
run nt "one command, NT path" "${leak[@]/#/NT .*: }" -- bench_transport.exe nt smoke 50
run aspi "one command, Windows 9x path" "${leak[@]/#/Windows 9x .*: }" -- \
    bench_transport_9x.exe aspi smoke 20
run tools "start-up to Ready, drvflash" "flash run, block commands" "CPU, drvflash" \
    "CPU, discmode" -- bench_tools.exe smoke bench-smoke-timeline.svg
if ! grep -q '<polyline' bench-smoke-timeline.svg 2>/dev/null; then
    echo "FAIL tools: expected the flash timeline picture with its bar line, none written"
    failed=1
fi
rm -f bench-smoke-timeline.svg
exit $failed
