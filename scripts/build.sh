#!/bin/bash
# Installs what the build needs (scripts/setup-machine.sh), then configures and
# builds the project into build/ with the mingw-w64 i686 preset.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup-machine.sh" || exit 1
(cd "$root" && cmake --preset mingw-i686 >/dev/null) || exit 1
cmake --build "$root/build" -j"$(nproc)"
