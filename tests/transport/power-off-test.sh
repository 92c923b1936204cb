#!/bin/bash
# The shutdown request for real, in a Wine prefix of its own (a copy of the
# session's, with a wineserver of its own): Wine must end the requesting program
# within the 15 s the probe waits, and the build's Wine session must not notice.
#
#   power-off-test.sh BUILD PROBE.exe
set -u
own="$1/poweroff-prefix" report="$1/poweroff-report.txt" probe=$2
. "$1/wine-session/env"
shared=$WINEPREFIX scale=${ZAL_TIME_SCALE:-1}
rm -rf "$own" "$report"
cp -a "$shared" "$own" || exit 1
start=$(date +%s)
# The report's name on drive Z: (the Unix root), as the probe sees it.
WINEPREFIX="$own" timeout $((60 * scale)) wine "$probe" "Z:${report//\//\\}" </dev/null >/dev/null 2>&1
status=$? elapsed=$(($(date +%s) - start))
WINEPREFIX="$own" wineserver -k 2>/dev/null
WINEPREFIX="$own" wineserver -w 2>/dev/null
failed=0
fail() { echo "FAIL: $*"; failed=1; }
grep -q 'requested platform 2' "$report" 2>/dev/null ||
    fail "the probe did not run on the NT family (report: $(cat "$report" 2>/dev/null))"
! grep -q survived "$report" 2>/dev/null || fail "the program survived its own shutdown request"
[ "$status" -ne 124 ] && [ "$elapsed" -lt $((15 * scale)) ] ||
    fail "the program was not ended by the shutdown (exit $status after ${elapsed}s)"
wine cmd /c exit </dev/null >/dev/null 2>&1 || fail "the build's Wine session did not survive"
rm -rf "$own"
[ "$failed" -eq 0 ] && echo "shutdown request ended the program after ${elapsed}s (exit $status)"
exit $failed
