#!/bin/bash
# The Wine session of one build tree: a private 32-bit Wine prefix inside the
# build tree, a persistent wineserver and an Xvfb display, so that every Windows
# program of the build starts in about 0.1 s and none of Wine's background
# services holds the output pipe of whoever ran the first program.
#
#   wine-session.sh start  BUILD   create the prefix if needed, start the session
#   wine-session.sh ensure BUILD   start it unless it runs already (used by winerun)
#   wine-session.sh stop   BUILD   stop wineserver and Xvfb of this session
#   wine-session.sh prefix BUILD   only create the prefix if needed and apply
#                                  BUILD/wine-programs.reg (no session)
#
# BUILD/wine-session/env holds WINEPREFIX, WINEDEBUG and DISPLAY for the session,
# and what this machine needs for Wine (scripts/wine-machine.sh: the qemu setting
# on machines that run 32-bit programs through qemu, and ZAL_TIME_SCALE).
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

server_alive() {
    [ -f "$dir/wineserver.pid" ] && kill -0 "$(cat "$dir/wineserver.pid")" 2>/dev/null
}

holder_alive() {
    [ -f "$dir/deskhold.pid" ] && kill -0 "$(cat "$dir/deskhold.pid")" 2>/dev/null
}

xvfb_alive() {
    [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null
}

start_xvfb() {
    xvfb_alive && return 0
    local n=""
    # Xvfb takes a free display itself and writes its number to the pipe once it
    # accepts clients; it closes the pipe unwritten when it fails.
    rm -f "$dir/displayfd" && mkfifo "$dir/displayfd" || return 1
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/displayfd" \
        </dev/null >"$dir/xvfb.log" 2>&1 9>&- &
    echo $! >"$dir/xvfb.pid"
    read -r -t 60 n <"$dir/displayfd"
    rm -f "$dir/displayfd"
    if [ -z "$n" ]; then
        echo "wine-session: Xvfb did not come up (see $dir/xvfb.log)" >&2
        return 1
    fi
    echo ":$n" >"$dir/display"
}

write_env() {
    {
        echo "export WINEPREFIX='$prefix' WINEARCH=win32 WINEDEBUG=-all"
        echo "export DISPLAY='$(cat "$dir/display")'"
        echo "$machine_env"
    } >"$dir/env.tmp" && mv "$dir/env.tmp" "$dir/env"
}

apply_registry() {
    # Programs that must see Windows 9x, and other per-program settings of the build.
    if [ -f "$build/wine-programs.reg" ]; then
        wine regedit /S "$(winepath -w "$build/wine-programs.reg" 9>&-)" </dev/null >/dev/null 2>&1 9>&-
    fi
}

create_prefix() {
    # wineboot starts a server of its own; let it finish before ours starts.
    if ! "$here/wine-machine.sh" emulated; then
        wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 9>&-
        wineserver -w
        return 0
    fi
    # Under qemu the wineserver itself now and then crashes while the prefix is
    # made, and wineboot's processes then wait for it for good: each try has a time
    # limit, and a failed one is cleared away and made again. Every Wine process
    # costs seconds under qemu: the .NET and HTML engines' installers and the
    # desktop menu entries, which no test uses, are left out.
    local attempt
    for attempt in 1 2 3; do
        echo "wine-session: creating the Wine prefix under qemu (a few minutes)" >&2
        if WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
            timeout 600 wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 9>&- &&
            timeout 300 wineserver -w && [ -f "$prefix/system.reg" ]; then
            return 0
        fi
        echo "wine-session: making the prefix failed (try $attempt; see $dir/wineboot.log)" >&2
        wineserver -k </dev/null >/dev/null 2>&1 9>&-
        kill_leftovers
        rm -rf "$prefix"
    done
    return 1
}

# Our persistent server, and Wine's services started by a first program (with its
# stdio on /dev/null they hold no pipe of the caller). Under qemu the server now
# and then crashes meanwhile, and the program then waits for it for good: there
# the program has a time limit, and a failed start is cleared away and tried again.
start_server() {
    local attempt
    for attempt in 1 2 3; do
        setsid wineserver -f -p </dev/null >/dev/null 2>&1 9>&- &
        echo $! >"$dir/wineserver.pid"
        if ! "$here/wine-machine.sh" emulated; then
            wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
            return 0
        fi
        if timeout 300 wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- && server_alive; then
            return 0
        fi
        echo "wine-session: starting Wine failed (try $attempt)" >&2
        wineserver -k </dev/null >/dev/null 2>&1 9>&-
        kill_leftovers
    done
    return 1
}

start_session() {
    start_xvfb || return 1
    export DISPLAY
    DISPLAY=$(cat "$dir/display")
    write_env
    if ! server_alive; then
        if [ ! -f "$prefix/system.reg" ]; then
            create_prefix || return 1
        fi
        start_server || return 1
    fi
    apply_registry
    start_desktop_holder
}

desktop_up() {
    local p
    for p in $(pgrep -f 'explorer.exe /desktop'); do
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && return 0
    done
    return 1
}

start_desktop_holder() {
    # Wine's desktop process takes the standard error of the program that starts
    # it and lives while any program uses the desktop: started here by deskhold
    # (once the build has made it), it holds /dev/null and lasts the session.
    holder_alive && return 0
    [ -f "$build/bin/deskhold.exe" ] || return 0
    setsid wine "$build/bin/deskhold.exe" </dev/null >/dev/null 2>&1 9>&- &
    echo $! >"$dir/deskhold.pid"
    for _ in $(seq 1 100); do
        desktop_up && return 0
        sleep 0.05
    done
    echo "wine-session: Wine's desktop process did not start" >&2
    return 1
}

# Under qemu a Wine process that was ended can linger as a Unix process; those
# of this prefix go with the session.
kill_leftovers() {
    local p exe
    for p in $(pgrep -u "$(id -u)" .); do
        exe=$(readlink "/proc/$p/exe" 2>/dev/null) || continue
        case "$exe" in
        /usr/bin/qemu-i386 | /usr/bin/qemu-i386-static | /usr/lib/wine/*) ;;
        *) continue ;;
        esac
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" &&
            kill -9 "$p" 2>/dev/null
    done
}

stop_session() {
    if [ -d "$prefix" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 9>&-
        if "$here/wine-machine.sh" emulated; then
            kill_leftovers
        fi
    fi
    if server_alive; then
        kill "$(cat "$dir/wineserver.pid")" 2>/dev/null
    fi
    if xvfb_alive; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    fi
    rm -f "$dir/wineserver.pid" "$dir/xvfb.pid" "$dir/deskhold.pid" "$dir/env"
}

case "$command" in
start | ensure)
    # ensure leaves a running session alone, before and after waiting for the lock.
    running() { [ "$command" = ensure ] && server_alive && xvfb_alive && [ -f "$dir/env" ]; }
    running && exit 0
    exec 9>"$dir/lock"
    flock 9
    running && exit 0
    start_session
    ;;
stop)
    exec 9>"$dir/lock"
    flock 9
    stop_session
    ;;
prefix)
    exec 9>"$dir/lock"
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        create_prefix || exit 1
    fi
    apply_registry
    ;;
*)
    echo "usage: wine-session.sh start|ensure|stop|prefix BUILD" >&2
    exit 2
    ;;
esac
