#!/bin/bash
# The shutdown request for real, in a Wine prefix of its own (a copy of the build's
# prefix with a wineserver of its own): Wine must end the requesting program, and
# the build's own Wine session must not notice.
#
#   power-off-test.sh BUILD PROBE.exe
set -u
build=$1
probe=$2
own="$build/poweroff-prefix"
report="$build/poweroff-report.txt"

. "$build/wine-session/env"
shared_prefix=$WINEPREFIX
# The probe waits 15 s to be ended; that and the time limit here grow with the
# machine's time scale.
scale=${ZAL_TIME_SCALE:-1}
rm -rf "$own" "$report"
cp -a "$shared_prefix" "$own" || exit 1

export WINEPREFIX="$own"
# The report's name as the probe sees it, on drive Z: (the Unix root), without a
# Wine process of its own.
report_windows="Z:$(printf '%s' "$report" | tr / '\\')"
start=$(date +%s)
timeout $((60 * scale)) wine "$probe" "$report_windows" </dev/null >/dev/null 2>&1
status=$?
elapsed=$(( $(date +%s) - start ))
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

fail=0
if ! grep -q 'requested platform 2' "$report" 2>/dev/null; then
    echo "FAIL: the probe did not run on the NT family (report: $(cat "$report" 2>/dev/null))"
    fail=1
fi
if grep -q survived "$report" 2>/dev/null; then
    echo "FAIL: the program survived its own shutdown request"
    fail=1
fi
if [ "$status" -eq 124 ] || [ "$elapsed" -ge $((15 * scale)) ]; then
    echo "FAIL: the program was not ended by the shutdown (exit $status after ${elapsed}s)"
    fail=1
fi
# The shared session goes on.
export WINEPREFIX="$shared_prefix"
if ! wine cmd /c exit </dev/null >/dev/null 2>&1; then
    echo "FAIL: the build's Wine session did not survive"
    fail=1
fi
rm -rf "$own"
[ "$fail" -eq 0 ] && echo "shutdown request ended the program after ${elapsed}s (exit $status)"
exit $fail
