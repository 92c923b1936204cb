#!/bin/bash
# Opens discmode.exe (the default) or drvflash.exe under Wine against the drive
# emulator as Windows 98 meets it, after scripts/build.sh (README.md, "The two
# commands"): on the X display, or without one (or --headless) on a private one,
# pictured (build/demo/TOOL.png or FILE) and closed. --fresh forgets what earlier
# runs did to the drives; --build DIR takes DIR as built.
#
#   scripts/run.sh [discmode|drvflash] [--fresh] [--screenshot FILE] [--headless] [--build DIR]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build" tool=discmode fresh=0 headless=0 shot="" built=0
while [ $# -gt 0 ]; do
    case "$1" in
    discmode | drvflash) tool=$1 ;;
    --fresh) fresh=1 ;;
    --headless) headless=1 ;;
    --screenshot | --build)
        [ -n "${2:-}" ] || { echo "run: $1 needs an argument" >&2; exit 2; }
        [ "$1" = --screenshot ] && shot=$2 || { build=$(cd "$2" && pwd) || exit 1; built=1; }
        shift
        ;;
    *) echo "usage: run.sh [discmode|drvflash] [--fresh] [--screenshot FILE] [--headless] [--build DIR]" >&2; exit 2 ;;
    esac
    shift
done
demo="$build/demo"
# The drives, and the log line that shows the dialog up and drawn: discmode polls
# the drive (TEST UNIT READY); drvflash has probed the other vendor's drive at 0:4.
scenario=demo ready='cdb=00-00-00-00-00-00'
[ "$tool" = discmode ] || scenario=flash-demo ready=' 0:4 cdb=12-'
log="$demo/$scenario.log"
shot=${shot:-$demo/$tool.png}
[[ "$shot" == /* ]] || shot="$PWD/$shot"

if [ "$built" = 0 ]; then
    mkdir -p "$build"
    echo "Installing what is missing and building (log: $build/run-build.log)"
    "$root/scripts/build.sh" >"$build/run-build.log" 2>&1 || {
        tail -n 30 "$build/run-build.log" >&2
        echo "run: the build failed (whole log: $build/run-build.log)" >&2; exit 1
    }
fi
# Program, emulator library and scenario side by side, in a prefix of the demo's
# own, whose settings (demo/wine-programs.reg) give both tools the emulator's
# library and Windows 98, which the tests' prefix must not do.
mkdir -p "$demo/bin"
cp "$build/bin/$tool.exe" "$build/bin/wnaspi32.dll" "$demo/bin/" &&
    cp "$root/emulator/scenarios/$scenario.txt" "$demo/" || exit 1
[ "$fresh" = 0 ] || rm -f "$demo/$scenario.state"
rm -f "$log"
emulated() { "$root/scripts/wine-machine.sh" emulated; }
start() { (cd "$demo" && ZALEMU_SCENARIO="$(winepath -w "$demo/$scenario.txt")" wine "$@"); }

if [ "$headless" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export WINEPREFIX="$demo/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    eval "$("$root/scripts/wine-machine.sh" env)"
    [ -f "$WINEPREFIX/system.reg" ] || echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    "$root/scripts/wine-session.sh" prefix "$demo" || exit 1
    echo "$tool is open on $DISPLAY; the emulated drives' log is $log"
    start "bin/$tool.exe"
    exit 0
fi
# Under qemu a prefix takes minutes to make: the demo's starts as a copy of the
# tests' one (which names neither tool, so the demo's settings hold).
if [ ! -f "$demo/wineprefix/system.reg" ] && [ -f "$build/wineprefix/system.reg" ] && emulated; then
    rm -rf "$demo/wineprefix" && cp -a "$build/wineprefix" "$demo/wineprefix" || exit 1
fi
trap '"$root/scripts/wine-session.sh" stop "$demo"' EXIT
"$root/scripts/wine-session.sh" start "$demo" || exit 1
. "$demo/wine-session/env"
# Wine's virtual desktop draws the caption bar; the picture is cut around the
# desktop, then the dialog. Under qemu explorer crashes (qemu gives Wine's fault
# handler no trap number): there the dialog opens on the bare display.
launch=(explorer "/desktop=$tool,700x500" "bin/$tool.exe") trim=(-trim +repage -trim +repage)
emulated && launch=("bin/$tool.exe") trim=(-trim +repage)
start "${launch[@]}" </dev/null >/dev/null 2>&1 &
program=$!
disown
# The wait grows with the time scale; it ends when the program ended first.
up() { grep -q -- "$ready" "$log" 2>/dev/null; }
for _ in $(seq 1 $((300 * ${ZAL_TIME_SCALE:-1}))); do
    up && break
    kill -0 "$program" 2>/dev/null || up ||
        { echo "run: $tool.exe ended before its dialog came up (drive log: $log)" >&2; exit 1; }
    sleep 0.1
done
up || { echo "run: the dialog did not come up (drive log: $log)" >&2; exit 1; }
sleep "${ZAL_TIME_SCALE:-1}"
mkdir -p "$(dirname "$shot")"
import -window root "$shot.full.png" && convert "$shot.full.png" "${trim[@]}" "$shot" &&
    rm -f "$shot.full.png" || exit 1
echo "$tool ran on a private display (no X display here); its picture: $shot"
echo "The emulated drives' log: $log"
