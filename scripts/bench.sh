#!/bin/bash
# Runs every benchmark and prints one table: what the tools cost beyond the
# drive, each figure beside its baseline taken in the same run (medians of
# several repetitions). Sets up like scripts/test.sh: installs the packages,
# builds into build/, starts the build's Wine session and stops it at the end.
# The benchmark programs' own lines and the flash run's timeline picture are
# kept in build/bench/.
#
#   scripts/bench.sh            runs them and prints the table
#   scripts/bench.sh --table    prints the last run's table again
#
# Environment: BENCH_BUILD (a build directory already configured, built here
# with cmake --build instead of scripts/build.sh and build/), BENCH_REPETITIONS (default 5), BENCH_LEAK_COMMANDS (default
# 100000; where Wine runs through qemu the ASPI path's long run defaults to
# 2000, BENCH_ASPI_LEAK_COMMANDS, since each of its commands costs ~15 ms there),
# BENCH_SLOW_REPETITIONS (3), BENCH_BLOCK_MS (1000), BENCH_IDLE_SECONDS (30).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
# The table of a run's figures ($1): its settings line, then a row per figure.
print_table() {
echo
sed -n 's/^RUN //p' "$1"
awk '
$1 == "RUN" { for (i = 2; i <= NF; ++i) if (split($i, kv, "=") == 2) setting[kv[1]] = kv[2] }
$1 == "FIGURE" { base[$2] = $3; value[$2] = $4; unit[$2] = $5 }
function row(name, b, m, ratio, target, met) {
    printf "| %-44s | %14s | %14s | %9s | %-16s | %-4s |\n", name, b, m, ratio, target, met
}
function ratio_row(label, key, limit, u) {
    if (!(key in value)) { row(label, "-", "-", "-", "<= " limit "x", "n/a"); return }
    r = base[key] > 0 ? value[key] / base[key] : 0
    row(label, sprintf("%.1f %s", base[key], u), sprintf("%.1f %s", value[key], u),
        sprintf("%.2fx", r), "<= " limit "x", r <= limit ? "yes" : "no")
}
# Below its floor the own share of the tool is lost in the noise of the floor itself.
function cpu_met(v, limit) { return v < 0 ? "n/r" : (v <= limit ? "yes" : "no") }
function leak_rows(path, count) {
    h = path "_leak_handles"; p = path "_leak_private"; q = path "_leak_requests"
    if (!(h in value)) { row(path " path, " count " commands", "-", "-", "-", "flat", "n/a"); return }
    row(path " path, " count " commands: handles added", sprintf("%+d", base[h]),
        sprintf("%+d", value[h]), "", "0 added", value[h] <= 0 ? "yes" : "no")
    row(path " path: private memory added", sprintf("%+d KB", base[p]),
        sprintf("%+d KB", value[p]), "", "<= 1.1 base+256KB",
        value[p] <= base[p] * 1.1 + 256 ? "yes" : "no")
    row(path " path: requests left queued", "0", sprintf("%d", value[q]), "", "0",
        value[q] == 0 ? "yes" : "no")
}
END {
    row("Figure", "Baseline", "Measured", "Ratio", "Target", "Met")
    print "|----------------------------------------------|----------------|----------------|-----------|------------------|------|"
    ratio_row("one command, NT path (ASPISim)", "nt_command", 1.5, "us")
    if ("nt_command_vs_sync" in value)
        row("  the bare synchronous pass-through", sprintf("%.1f us", base["nt_command_vs_sync"]),
            "", "", "(reported)", "")
    ratio_row("one command, Windows 9x path (ASPI)", "aspi_command", 1.2, "us")
    ratio_row("flash run, drive answers at once", "flash_instant", 1.2, "ms")
    if ("flash_instant_commands" in value && "aspi_command" in base) {
        floor = base["flash_instant"] + value["flash_instant_commands"] * base["aspi_command"] / 1000
        r = value["flash_instant"] / floor
        row(sprintf("  floor + %d commands at the bare ASPI cost", value["flash_instant_commands"]),
            sprintf("%.1f ms", floor), sprintf("%.1f ms", value["flash_instant"]),
            sprintf("%.2fx", r), "(reported)", "")
    }
    if ("flash_slow" in value) {
        share = 100 * (value["flash_slow"] - base["flash_slow"]) / value["flash_slow"]
        row("flash run, slow block commands", sprintf("%.0f ms", base["flash_slow"]),
            sprintf("%.0f ms", value["flash_slow"]), sprintf("%.1f %%", share), "tool <= 2 %",
            share <= 2 ? "yes" : "no")
        if ("flash_instant_commands" in value && "aspi_command" in base) {
            path = value["flash_instant_commands"] * base["aspi_command"] / 1000
            share = 100 * (value["flash_slow"] - base["flash_slow"] - path) / value["flash_slow"]
            row("  less the commands at the bare ASPI cost", sprintf("%.0f ms", base["flash_slow"] + path),
                sprintf("%.0f ms", value["flash_slow"]), sprintf("%.1f %%", share), "(reported)", "")
        }
    }
    ratio_row("start-up to Ready, discmode", "startup_discmode", 1.25, "ms")
    ratio_row("start-up to Ready, drvflash", "startup_drvflash", 1.25, "ms")
    if ("discmode_cpu" in value) {
        row("CPU, discmode polling, no disc", "one core", sprintf("%.2f %%", value["discmode_cpu"]),
            "", "<= 0.5 %", cpu_met(value["discmode_cpu"], 0.5))
        row("  its whole process / the bare ticking dialog", sprintf("%.2f %%", base["discmode_cpu_raw"]),
            sprintf("%.2f %%", value["discmode_cpu_raw"]), "", "(reported)", "")
    }
    if ("drvflash_cpu" in value) {
        row("CPU, drvflash during slow block commands", "one core", sprintf("%.2f %%", value["drvflash_cpu"]),
            "", "< 1 %", cpu_met(value["drvflash_cpu"], 1))
        row("  its whole process / the bare ticking dialog", sprintf("%.2f %%", base["drvflash_cpu_raw"]),
            sprintf("%.2f %%", value["drvflash_cpu_raw"]), "", "(reported)", "")
    }
    leak_rows("nt", setting["nt_leak"])
    leak_rows("aspi", setting["aspi_leak"])
}' "$1"
}


if [ "${1:-}" = "--table" ]; then
    # The table of the last run in build/ again, from its figures (BENCH_BUILD: that one's).
    [ -n "${BENCH_BUILD:-}" ] && print_table "$BENCH_BUILD/bench/figures.txt" && exit 0
    print_table "$root/build/bench/figures.txt"
    exit 0
fi

if [ -n "${BENCH_BUILD:-}" ]; then
    build=$(cd "$BENCH_BUILD" && pwd) || exit 1
    cmake --build "$build" -j"$(nproc)" --target bench_tools bench_transport_copy || exit 1
else
    build="$root/build"
    "$root/scripts/build.sh" || exit 1
fi

repetitions=${BENCH_REPETITIONS:-5}
slow_repetitions=${BENCH_SLOW_REPETITIONS:-3}
block_ms=${BENCH_BLOCK_MS:-1000}
idle_seconds=${BENCH_IDLE_SECONDS:-30}
leak=${BENCH_LEAK_COMMANDS:-100000}
aspi_leak=${BENCH_ASPI_LEAK_COMMANDS:-$leak}
if "$root/scripts/wine-machine.sh" emulated; then
    aspi_leak=${BENCH_ASPI_LEAK_COMMANDS:-2000}
    echo "32-bit programs run through qemu-i386 here: every figure includes qemu's emulation"
    echo "of Wine and of the tools; see docs/performance.md for what that distorts."
fi

out="$build/bench"
mkdir -p "$out"
figures="$out/figures.txt"
trap '"$root/scripts/wine-session.sh" stop "$build"' EXIT
"$root/scripts/wine-session.sh" start "$build" || exit 1


{
    echo "RUN Benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, medians of $repetitions;"
    echo "RUN slow flash runs: $slow_repetitions, block commands $block_ms ms; idle window $idle_seconds s;"
    echo "RUN long runs: nt_leak=$leak aspi_leak=$aspi_leak commands (NT path, Windows 9x path)."
} >"$figures"
failed=0
run() {
    echo "== $*"
    (cd "$build/bin" && "$build/winerun" "$@") | tee -a "$figures"
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then
        echo "!! $* failed"
        failed=1
    fi
}

run bench_transport.exe nt command "$repetitions" 200
run bench_transport_9x.exe aspi command "$repetitions" 100
run bench_transport.exe nt leak "$leak"
run bench_transport_9x.exe aspi leak "$aspi_leak"
run bench_tools.exe startup discmode "$repetitions"
run bench_tools.exe startup drvflash "$repetitions"
run bench_tools.exe flash "$repetitions"
run bench_tools.exe flash-slow "$slow_repetitions" "$block_ms" 'Z:'"${out//\//\\}"'\flash-timeline.svg'
run bench_tools.exe idle "$idle_seconds"

print_table "$figures" | tee "$out/table.md"
echo
echo "Timeline of a flash run: $out/flash-timeline.svg"
exit $failed
