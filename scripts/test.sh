#!/bin/bash
# Sets up the machine, builds (scripts/build.sh) and runs ctest with these
# arguments, with the test preset made for qemu where 32-bit programs run through
# it (CMakePresets.json). ctest's fixtures start and stop the Wine session.
#
#   scripts/test.sh [ctest arguments...]
cd "$(dirname "$0")/.." && scripts/build.sh || exit 1
preset=mingw-i686
scripts/wine-machine.sh emulated && preset=mingw-i686-qemu &&
    echo "Test preset $preset: 32-bit programs run through qemu-i386 here (see CMakePresets.json)"
exec ctest --preset "$preset" "$@"
