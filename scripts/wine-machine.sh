#!/bin/bash
# What Wine needs from this machine's kind: whether 32-bit Linux programs (Wine's
# 32-bit loader among them) run natively or through qemu-i386 (registered by
# setup-machine.sh on kernels that refuse them), and the settings that follow.
#
#   wine-machine.sh env          print the export lines for Wine on this machine
#   wine-machine.sh time-scale   print the factor by which test time limits grow
#   wine-machine.sh emulated     exit 0 when 32-bit programs run through qemu
#
# On qemu the environment gets ZAL_TIME_SCALE: how many times longer the tests
# wait for what must happen, and the slack of their elapsed-time checks (default
# 10 on qemu, 1 natively; a ZAL_TIME_SCALE already in the environment wins).
set -u

emulated() {
    local entry=/proc/sys/fs/binfmt_misc/qemu-i386
    [ -r "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] &&
        [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" = enabled ]
}

time_scale() {
    if [ -n "${ZAL_TIME_SCALE:-}" ]; then
        echo "$ZAL_TIME_SCALE"
    elif emulated; then
        echo 10
    else
        echo 1
    fi
}

case "${1:-}" in
env)
    echo "export ZAL_TIME_SCALE=$(time_scale)"
    ;;
time-scale)
    time_scale
    ;;
emulated)
    emulated
    ;;
*)
    echo "usage: wine-machine.sh env|time-scale|emulated" >&2
    exit 2
    ;;
esac
