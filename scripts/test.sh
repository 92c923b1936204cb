#!/bin/bash
# Sets everything up on a fresh machine and runs every test: installs the
# packages, configures and builds the project (build/), starts the build's Wine
# session (private prefix, wineserver, Xvfb), runs ctest, and stops the session.
#
#   scripts/test.sh [ctest arguments...]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/scripts/build.sh" || exit 1

retry=()
if "$root/scripts/wine-machine.sh" emulated; then
    echo "32-bit programs run through qemu-i386 here: Wine is many times slower, and the tests'"
    echo "time limits are $("$root/scripts/wine-machine.sh" time-scale) times as long (ZAL_TIME_SCALE)."
    # qemu-i386 itself now and then dies in a Wine process ("qemu: uncaught target
    # signal 11"): a test that fails so is run again, up to three times in all, and
    # ctest's output still shows each failed try.
    echo "A failed test is tried up to 3 times (qemu itself occasionally crashes a Wine process)."
    retry=(--repeat until-pass:3)
fi

trap '"$root/scripts/wine-session.sh" stop "$build"' EXIT
"$root/scripts/wine-session.sh" start "$build" || exit 1
ctest --test-dir "$build" --output-on-failure -j2 "${retry[@]}" "$@"
