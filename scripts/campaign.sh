#!/bin/bash
# Runs every seeded campaign at full size: installs the packages, configures
# and builds the project (build/), starts the build's Wine session, runs each
# campaign program with one seed, stops the session, and prints a table. The
# seed is the first argument, or a fresh one, printed first; the same seed gives
# the same cases again. Each campaign's output is kept in build/campaign/NAME.log;
# a broken invariant there names its seed and run, and
#   build/winerun build/bin/PROGRAM.exe --seed S --run R
# replays that run alone. The flash sequence campaign, by far the longest (the
# drive's pause after each flash, the time-outs), runs in SHARES parallel parts
# (default 2) over the ASPI path, and its last third in one more part over the
# NT path (flash_sequence_campaign --path nt, the SPTI back end). Last, the NT simulator's stress program runs 100,000 requests and
# prints its own line (build/campaign/aspisim-stress.txt). Exit code 0 when no
# campaign broke an invariant.
#
#   scripts/campaign.sh [SEED] [--shares N] [--build DIR] [--quick]
#
# --build DIR uses another build tree, configured already, instead of build/, and
# builds only the campaign programs there.
# --quick runs a hundredth of each size, to try the command itself.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
own_build=""

seed=""
shares=2
divisor=1
while [ $# -gt 0 ]; do
    case "$1" in
    --shares)
        shares=${2:?--shares needs a number}
        shift 2
        ;;
    --quick)
        divisor=100
        shift
        ;;
    --build)
        own_build=$(cd "${2:?--build needs a build tree}" && pwd) || exit 1
        build=$own_build
        shift 2
        ;;
    *)
        seed=$1
        shift
        ;;
    esac
done
if [ -z "$seed" ]; then
    seed=$(($(od -An -N4 -tu4 /dev/urandom) % 4000000000))
fi
echo "campaign seed: $seed"

if [ -z "$own_build" ]; then
    "$root/scripts/build.sh" || exit 1
else
    cmake --build "$build" -j2 --target flash_sequence_campaign \
        change_flow_campaign \
        image_campaign device_data_flash_campaign device_data_booktype_campaign \
        aspisim_stress || exit 1
fi
trap '"$root/scripts/wine-session.sh" stop "$build"' EXIT
"$root/scripts/wine-session.sh" start "$build" || exit 1
. "$build/wine-session/env"

logs="$build/campaign"
mkdir -p "$logs"
rm -f "$logs"/*.log

# PROGRAM RUNS LOG [FIRST [ARGUMENTS...]]: one campaign program (or share of one) under Wine.
# Its output goes to a file, not a pipe: under qemu a lingering Wine process
# would hold a pipe open.
run() {
    (cd "$build/bin" && wine "$1.exe" --seed "$seed" --runs "$(($2 / divisor))" --first "${4:-0}" "${@:5}" \
        </dev/null >"$3" 2>&1)
}

started=$(date +%s)
flash_runs=2000
# Runs from aspi_runs on go over the NT path.
aspi_runs=$((flash_runs - flash_runs / 3))
share=$(((aspi_runs + shares - 1) / shares))
pids=()
for ((i = 0; i < shares; ++i)); do
    first=$((i * share))
    count=$((aspi_runs - first < share ? aspi_runs - first : share))
    # The share's runs start at its first run of the full-size campaign.
    run flash_sequence_campaign "$count" "$logs/flash-sequence-$i.log" "$first" &
    pids+=($!)
done
run flash_sequence_campaign "$((flash_runs - aspi_runs))" "$logs/flash-sequence-nt.log" \
    "$aspi_runs" --path nt &
pids+=($!)
run change_flow_campaign 2000 "$logs/change-flow.log"
run image_campaign 10000 "$logs/image.log"
run device_data_flash_campaign 2000 "$logs/device-data-flash.log"
run device_data_booktype_campaign 2000 "$logs/device-data-booktype.log"
# The NT simulator under stress: requests from two builders in turn, with
# pass-through failures, lost handles and aborts mixed in.
(cd "$build/bin" && wine aspisim_stress.exe --seed "$seed" --requests "$((100000 / divisor))" \
    </dev/null >"$logs/aspisim-stress.txt" 2>&1)
stress_status=$?
wait "${pids[@]}"

echo
printf '%-22s %7s %7s %8s  %s\n' campaign runs broken seconds tallies
status=0
for log in "$logs"/*.log; do
    summary=$(grep '^SUMMARY' "$log" | tail -1)
    if [ -z "$summary" ]; then
        printf '%-22s %s\n' "$(basename "$log" .log)" "no summary: it crashed or did not run (see $log)"
        status=1
        continue
    fi
    # SUMMARY NAME seed=S runs=R broken=B seconds=T tallies...
    set -- $summary
    name=$2 runs=${4#runs=} broken=${5#broken=} seconds=${6#seconds=}
    shift 6
    printf '%-22s %7s %7s %8s  %s\n' "$name" "$runs" "$broken" "$seconds" "$*"
    [ "$broken" = 0 ] || status=1
    grep -q '^CRASH' "$log" && status=1
done
stress=$(grep '^aspisim_stress ' "$logs/aspisim-stress.txt" | tail -1)
if [ "$stress_status" != 0 ] || [ -z "$stress" ]; then
    echo "aspisim-stress: broken or crashed (exit $stress_status, see $logs/aspisim-stress.txt)"
    status=1
else
    echo "$stress"
fi
echo "seed $seed, $(($(date +%s) - started)) s in all; logs in $logs"
exit $status
