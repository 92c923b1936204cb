#!/bin/bash
# Installs what the build needs (scripts/setup-machine.sh), then configures and
# builds the project into build/ (the workflow preset mingw-i686).
set -u
cd "$(dirname "$0")/.." || exit 1
scripts/setup-machine.sh && cmake --workflow --preset mingw-i686
