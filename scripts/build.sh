#!/bin/bash
# Installs what the build needs (scripts/setup-machine.sh), then configures and
# builds into build/ (the workflow preset mingw-i686).
cd "$(dirname "$0")/.." && scripts/setup-machine.sh && cmake --workflow --preset mingw-i686
