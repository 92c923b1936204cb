#!/bin/bash
# What Wine needs from this machine: whether 32-bit programs (Wine's loader among
# them) run through qemu-i386 (registered by setup-machine.sh where the kernel
# refuses them), and ZAL_TIME_SCALE, how many times longer the tests' time limits
# are (10 on qemu, 1 natively; one already in the environment wins).
#
#   wine-machine.sh env|time-scale|emulated   (export lines | the factor | exit 0 on qemu)
set -u
emulated() {
    local entry=/proc/sys/fs/binfmt_misc/qemu-i386
    [ -r "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] &&
        [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" = enabled ]
}
scale=${ZAL_TIME_SCALE:-}
[ -n "$scale" ] || { emulated && scale=10 || scale=1; }
case "${1:-}" in
env) echo "export ZAL_TIME_SCALE=$scale" ;;
time-scale) echo "$scale" ;;
emulated) emulated ;;
*) echo "usage: wine-machine.sh env|time-scale|emulated" >&2; exit 2 ;;
esac
