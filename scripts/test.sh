#!/bin/bash
# Sets everything up on a fresh machine and runs every test: installs the
# packages, configures and builds the project (build/), and runs ctest, whose
# fixture starts and stops the build's Wine session.
#
#   scripts/test.sh [ctest arguments...]
set -u
cd "$(dirname "$0")/.." || exit 1
scripts/build.sh || exit 1
preset=mingw-i686
if scripts/wine-machine.sh emulated; then
    echo "32-bit programs run through qemu-i386 here: the tests' time limits are" \
        "$(scripts/wine-machine.sh time-scale) times as long, and a failed test is tried" \
        "up to 3 times (qemu itself occasionally crashes a Wine process)."
    preset=mingw-i686-qemu
fi
exec ctest --preset "$preset" "$@"
