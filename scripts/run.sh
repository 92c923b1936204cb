#!/bin/bash
# Opens one of the tools, discmode.exe (the default) or drvflash.exe, under Wine
# against the drive emulator, as a user of Windows 98 would meet it: the
# emulator's wnaspi32.dll stands in for ASPI and the drives are those of
# emulator/scenarios/demo.txt (discmode) or flash-demo.txt (drvflash). Installs
# and builds first (scripts/build.sh), so it runs on a fresh machine.
#
#   scripts/run.sh [discmode|drvflash] [--fresh] [--screenshot FILE] [--headless] [--build DIR]
#
# With a usable X display ($DISPLAY) the dialog opens there and the script ends
# when it is closed. Without one (or with --headless) the dialog opens in a Wine
# desktop on a private Xvfb display; the script saves a picture of it (default
# build/demo/TOOL.png, or FILE), says where, and closes the program.
# --fresh forgets what earlier runs did to the drives. LC_ALL=ja_JP.UTF-8 shows
# the Japanese dialog. --build DIR takes the tree DIR as built already: nothing
# is installed or built.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
tool=discmode
fresh=0
headless=0
shot=""
built=0

while [ $# -gt 0 ]; do
    case "$1" in
    discmode | drvflash) tool=$1 ;;
    --fresh) fresh=1 ;;
    --headless) headless=1 ;;
    --screenshot | --build)
        [ -n "${2:-}" ] || { echo "run: $1 needs an argument" >&2; exit 2; }
        if [ "$1" = --build ]; then
            build=$(cd "$2" && pwd) || exit 1
            built=1
        else
            shot=$2
        fi
        shift
        ;;
    *)
        echo "usage: run.sh [discmode|drvflash] [--fresh] [--screenshot FILE] [--headless] [--build DIR]" >&2
        exit 2
        ;;
    esac
    shift
done
demo="$build/demo"
# Each tool's demonstration drives, and the log line that shows its dialog is up
# and drawn: discmode polls the drive (TEST UNIT READY); drvflash has probed the
# last drive of the scenario (the other vendor's, at 0:4).
if [ "$tool" = discmode ]; then
    scenario=demo
    ready='cdb=00-00-00-00-00-00'
else
    scenario=flash-demo
    ready=' 0:4 cdb=12-'
fi
[ -n "$shot" ] || shot="$demo/$tool.png"
case "$shot" in /*) ;; *) shot="$PWD/$shot" ;; esac

if [ "$built" = 0 ]; then
    mkdir -p "$build"
    echo "Installing what is missing and building (log: $build/run-build.log)"
    "$root/scripts/build.sh" >"$build/run-build.log" 2>&1 || {
        tail -n 30 "$build/run-build.log" >&2
        echo "run: the build failed (whole log: $build/run-build.log)" >&2
        exit 1
    }
fi

# The program and the emulator's ASPI library side by side, with the scenario,
# in a Wine prefix of the demo's own: its settings (demo/wine-programs.reg,
# written by the build) give the emulator's library to both tools and report
# Windows 98 to them, which the tests' prefix must not do.
mkdir -p "$demo/bin"
cp "$build/bin/$tool.exe" "$build/bin/wnaspi32.dll" "$demo/bin/" || exit 1
cp "$root/emulator/scenarios/$scenario.txt" "$demo/$scenario.txt" || exit 1
if [ "$fresh" = 1 ]; then
    rm -f "$demo/$scenario.state"
fi
rm -f "$demo/$scenario.log"

if [ "$headless" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export WINEPREFIX="$demo/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    eval "$("$root/scripts/wine-machine.sh" env)"
    [ -f "$WINEPREFIX/system.reg" ] || echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    "$root/scripts/wine-session.sh" prefix "$demo" || exit 1
    echo "$tool is open on $DISPLAY; the emulated drives' log is $demo/$scenario.log"
    (cd "$demo" && ZALEMU_SCENARIO="$(winepath -w "$demo/$scenario.txt")" wine "bin/$tool.exe")
    exit 0
fi

# Under qemu creating a prefix takes minutes: the demo's starts as a copy of the
# tests' one when that exists (it names neither tool, so the demo's settings hold).
if [ ! -f "$demo/wineprefix/system.reg" ] && [ -f "$build/wineprefix/system.reg" ] &&
    "$root/scripts/wine-machine.sh" emulated; then
    rm -rf "$demo/wineprefix"
    cp -a "$build/wineprefix" "$demo/wineprefix" || exit 1
fi
trap '"$root/scripts/wine-session.sh" stop "$demo"' EXIT
"$root/scripts/wine-session.sh" start "$demo" || exit 1
. "$demo/wine-session/env"
# Wine's virtual desktop draws the dialog's caption bar. Under qemu its explorer
# process crashes (one of its threads faults, and qemu gives Wine's fault handler
# no trap number): there the dialog opens on the bare display, without a caption.
# The picture is cut from the display around the desktop, then around the dialog.
launch=(explorer "/desktop=$tool,700x500" "bin/$tool.exe")
trim=(-trim +repage -trim +repage)
if "$root/scripts/wine-machine.sh" emulated; then
    launch=("bin/$tool.exe")
    trim=(-trim +repage)
fi
(cd "$demo" && ZALEMU_SCENARIO="$(winepath -w "$demo/$scenario.txt")" \
    wine "${launch[@]}") </dev/null >/dev/null 2>&1 &
program=$!
disown

# Both waits grow with the machine's time scale (ZAL_TIME_SCALE, from the session).
# The wait ends at once when the program has ended before its dialog came up
# (under qemu a Wine process now and then crashes).
for _ in $(seq 1 $((300 * ${ZAL_TIME_SCALE:-1}))); do
    grep -q -- "$ready" "$demo/$scenario.log" 2>/dev/null && break
    if ! kill -0 "$program" 2>/dev/null; then
        grep -q -- "$ready" "$demo/$scenario.log" 2>/dev/null && break
        echo "run: $tool.exe ended before its dialog came up (drive log: $demo/$scenario.log)" >&2
        exit 1
    fi
    sleep 0.1
done
if ! grep -q -- "$ready" "$demo/$scenario.log" 2>/dev/null; then
    echo "run: the dialog did not come up (drive log: $demo/$scenario.log)" >&2
    exit 1
fi
sleep "${ZAL_TIME_SCALE:-1}"
mkdir -p "$(dirname "$shot")"
import -window root "$shot.full.png" && convert "$shot.full.png" "${trim[@]}" "$shot" &&
    rm -f "$shot.full.png" || exit 1
echo "$tool ran on a private display (no X display here); its picture: $shot"
echo "The emulated drives' log: $demo/$scenario.log"
