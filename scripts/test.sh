#!/bin/bash
# Sets up the machine, builds (scripts/build.sh) and runs ctest with these
# arguments; where 32-bit programs run through qemu, with the test preset made
# for it (CMakePresets.json). ctest's fixtures start and stop the Wine session.
#
#   scripts/test.sh [ctest arguments...]
cd "$(dirname "$0")/.." && scripts/build.sh || exit 1
preset=mingw-i686
scripts/wine-machine.sh emulated && preset=mingw-i686-qemu &&
    echo "32-bit programs run through qemu-i386 here: test preset $preset (time limits" \
        "$(scripts/wine-machine.sh time-scale) times as long, a failed test tried up to 3 times)"
exec ctest --preset "$preset" "$@"
