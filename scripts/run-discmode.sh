#!/bin/bash
# Opens discmode.exe under Wine against the drive emulator, as a user of
# Windows 98 would meet it: the emulator's wnaspi32.dll stands in for ASPI and
# the drives are those of emulator/scenarios/demo.txt. Installs and builds
# first (scripts/build.sh), so it runs on a fresh machine.
#
#   scripts/run-discmode.sh [--fresh] [--screenshot FILE] [--headless]
#
# With a usable X display ($DISPLAY) the dialog opens there and the script ends
# when it is closed. Without one (or with --headless) the dialog opens in a Wine
# desktop on a private Xvfb display; the script saves a picture of it (default
# build/demo/discmode.png, or FILE), says where, and closes the program.
# --fresh forgets what earlier runs did to the drives. LC_ALL=ja_JP.UTF-8 shows
# the Japanese dialog.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
demo="$build/demo"
fresh=0
headless=0
shot="$demo/discmode.png"

while [ $# -gt 0 ]; do
    case "$1" in
    --fresh) fresh=1 ;;
    --headless) headless=1 ;;
    --screenshot)
        shot=${2:?--screenshot needs a file name}
        shift
        ;;
    *)
        echo "usage: run-discmode.sh [--fresh] [--screenshot FILE] [--headless]" >&2
        exit 2
        ;;
    esac
    shift
done
case "$shot" in /*) ;; *) shot="$PWD/$shot" ;; esac

mkdir -p "$build"
echo "Installing what is missing and building (log: $build/run-discmode-build.log)"
"$root/scripts/build.sh" >"$build/run-discmode-build.log" 2>&1 || {
    tail -n 30 "$build/run-discmode-build.log" >&2
    echo "run-discmode: the build failed (whole log: $build/run-discmode-build.log)" >&2
    exit 1
}

# The program and the emulator's ASPI library side by side, with the scenario.
# Wine gives the emulator's library only to a program that asks for it and
# reports Windows 98 only to programs named so: a prefix of the demo's own keeps
# these settings away from the tests' prefix.
mkdir -p "$demo/bin"
cp "$build/bin/discmode.exe" "$build/bin/wnaspi32.dll" "$demo/bin/" || exit 1
cp "$root/emulator/scenarios/demo.txt" "$demo/demo.txt" || exit 1
if [ "$fresh" = 1 ]; then
    rm -f "$demo/demo.state"
fi
rm -f "$demo/demo.log"
printf '%s\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\discmode.exe]' '"Version"="win98"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\discmode.exe\DllOverrides]' \
    '"wnaspi32"="native"' >"$demo/wine-programs.reg"

if [ "$headless" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export WINEPREFIX="$demo/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)"
        wineboot -i </dev/null >/dev/null 2>&1
    fi
    wine regedit /S "$(winepath -w "$demo/wine-programs.reg")" </dev/null >/dev/null 2>&1
    echo "discmode is open on $DISPLAY; the emulated drives' log is $demo/demo.log"
    (cd "$demo" && ZALEMU_SCENARIO="$(winepath -w "$demo/demo.txt")" wine bin/discmode.exe)
    exit 0
fi

trap '"$root/scripts/wine-session.sh" stop "$demo"' EXIT
"$root/scripts/wine-session.sh" start "$demo" || exit 1
. "$demo/wine-session/env"
(cd "$demo" && ZALEMU_SCENARIO="$(winepath -w "$demo/demo.txt")" \
    wine explorer /desktop=discmode,700x500 bin/discmode.exe </dev/null >/dev/null 2>&1 &)

# The dialog is up and drawn once it polls the drive (TEST UNIT READY).
for _ in $(seq 1 300); do
    grep -q 'cdb=00-00-00-00-00-00' "$demo/demo.log" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q 'cdb=00-00-00-00-00-00' "$demo/demo.log" 2>/dev/null; then
    echo "run-discmode: the dialog did not come up (drive log: $demo/demo.log)" >&2
    exit 1
fi
sleep 1
mkdir -p "$(dirname "$shot")"
import -window root "$shot.full.png" && convert "$shot.full.png" -trim +repage -trim +repage "$shot" &&
    rm -f "$shot.full.png" || exit 1
echo "discmode ran on a private display (no X display here); its picture: $shot"
echo "The emulated drives' log: $demo/demo.log"
