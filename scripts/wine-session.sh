#!/bin/bash
# The Wine session of one build tree: a private 32-bit prefix in BUILD/wineprefix,
# a persistent wineserver and an Xvfb display, so that a program starts at once
# and no Wine service holds the output pipe of whoever ran the first program.
#
#   wine-session.sh start|ensure|stop|prefix BUILD
#
# ensure starts the session unless it runs (winerun); prefix only makes the prefix
# and applies BUILD/wine-programs.reg. BUILD/wine-session/env holds what a Wine
# command of the session needs, with scripts/wine-machine.sh's settings.
set -u
here=$(cd "$(dirname "$0")" && pwd)
command=${1:-}
build=$(cd "${2:?usage: wine-session.sh start|ensure|stop|prefix BUILD}" && pwd) || exit 1
dir="$build/wine-session"
prefix="$build/wineprefix"
mkdir -p "$dir"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
unset WINEDLLOVERRIDES
machine_env=$("$here/wine-machine.sh" env) || exit 1
eval "$machine_env"
emulated() { "$here/wine-machine.sh" emulated; }
# Every Wine process is kept off the lock's descriptor 9 and the caller's pipes.
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }
alive() { [ -f "$dir/$1.pid" ] && kill -0 "$(cat "$dir/$1.pid")" 2>/dev/null; }

start_xvfb() {
    alive xvfb && return 0
    local n="" # Xvfb writes its display's number once it accepts clients, or nothing
    rm -f "$dir/displayfd" && mkfifo "$dir/displayfd" || return 1
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/displayfd" \
        </dev/null >"$dir/xvfb.log" 2>&1 9>&- &
    echo $! >"$dir/xvfb.pid"
    read -r -t 60 n <"$dir/displayfd"
    rm -f "$dir/displayfd"
    [ -n "$n" ] || { echo "wine-session: Xvfb did not come up (see $dir/xvfb.log)" >&2; return 1; }
    echo ":$n" >"$dir/display"
}

apply_registry() { # per-program settings of the build (Windows 98, ASPI library)
    [ -f "$build/wine-programs.reg" ] || return 0
    quiet wine regedit /S "$(winepath -w "$build/wine-programs.reg" 9>&-)"
}

kill_leftovers() { # under qemu an ended Wine process can linger; those of this prefix go
    local p
    for p in $(pgrep -u "$(id -u)" .); do
        case "$(readlink "/proc/$p/exe" 2>/dev/null)" in
        /usr/bin/qemu-i386 | /usr/bin/qemu-i386-static | /usr/lib/wine/*) ;;
        *) continue ;;
        esac
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" &&
            kill -9 "$p" 2>/dev/null
    done
}

# wineboot runs a server of its own; ours starts once it has ended. Under qemu that
# server now and then crashes and wineboot waits for good: three tries with time
# limits, and no .NET and HTML installers or menu entries (minutes there, unused).
create_prefix() {
    local try
    emulated || { wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 9>&-; wineserver -w; return 0; }
    for try in 1 2 3; do
        echo "wine-session: creating the Wine prefix under qemu (a few minutes)" >&2
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" timeout 600 wineboot -i \
            </dev/null >"$dir/wineboot.log" 2>&1 9>&- && timeout 300 wineserver -w &&
            [ -f "$prefix/system.reg" ] && return 0
        echo "wine-session: making the prefix failed (try $try; see $dir/wineboot.log)" >&2
        quiet wineserver -k
        kill_leftovers
        rm -rf "$prefix"
    done
    return 1
}

# Our server, and Wine's services started by a first program with its stdio on
# /dev/null; under qemu with a time limit and up to three tries.
start_server() {
    local try
    for try in 1 2 3; do
        setsid wineserver -f -p </dev/null >/dev/null 2>&1 9>&- &
        echo $! >"$dir/wineserver.pid"
        emulated || { quiet wine cmd /c exit; return 0; }
        quiet timeout 300 wine cmd /c exit && alive wineserver && return 0
        echo "wine-session: starting Wine failed (try $try)" >&2
        quiet wineserver -k
        kill_leftovers
    done
    return 1
}

# Wine's desktop process holds the stderr of the program that starts it for as long
# as any program uses it: deskhold (once built) starts it and lasts the session.
start_desktop_holder() {
    local p
    alive deskhold || [ ! -f "$build/bin/deskhold.exe" ] && return 0
    setsid wine "$build/bin/deskhold.exe" </dev/null >/dev/null 2>&1 9>&- &
    echo $! >"$dir/deskhold.pid"
    for _ in $(seq 1 100); do
        for p in $(pgrep -f 'explorer.exe /desktop'); do
            tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && return 0
        done
        sleep 0.05
    done
    echo "wine-session: Wine's desktop process did not start" >&2
    return 1
}

start_session() {
    start_xvfb || return 1
    DISPLAY=$(cat "$dir/display") && export DISPLAY
    printf "export WINEPREFIX='%s' WINEARCH=win32 WINEDEBUG=-all\nexport DISPLAY='%s'\n%s\n" \
        "$prefix" "$DISPLAY" "$machine_env" >"$dir/env.tmp" && mv "$dir/env.tmp" "$dir/env"
    if ! alive wineserver; then
        [ -f "$prefix/system.reg" ] || create_prefix || return 1
        start_server || return 1
    fi
    apply_registry
    start_desktop_holder
}

stop_session() {
    if [ -d "$prefix" ]; then quiet wineserver -k; emulated && kill_leftovers; fi
    alive wineserver && kill "$(cat "$dir/wineserver.pid")" 2>/dev/null
    alive xvfb && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    rm -f "$dir/wineserver.pid" "$dir/xvfb.pid" "$dir/deskhold.pid" "$dir/env"
}

# ensure leaves a running session alone, before and after waiting for the lock.
running() { [ "$command" = ensure ] && alive wineserver && alive xvfb && [ -f "$dir/env" ]; }
case "$command" in
start | ensure | stop | prefix) running && exit 0 ;;
*) echo "usage: wine-session.sh start|ensure|stop|prefix BUILD" >&2; exit 2 ;;
esac
exec 9>"$dir/lock"
flock 9
case "$command" in
start | ensure) running || start_session ;;
stop) stop_session ;;
prefix) { [ -f "$prefix/system.reg" ] || create_prefix; } && apply_registry ;;
esac
