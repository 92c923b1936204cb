#!/bin/bash
# Installs what building and testing needs on Debian 12, with sudo when not root;
# nothing when all is there. Where the kernel refuses 32-bit programs, they run
# through qemu-i386 (README.md, "The two commands"). A mirror in mid-sync can serve
# an index that does not match its Release file for hours: apt-get update is tried
# a few times, then the set-up goes on without the index that still fails, saying
# which; a failed install is tried again with the release's own versions; a
# package no source has ends it.
#
#   setup-machine.sh [--packages-only]   (the packages, not the 32-bit check)
set -eu
packages=(cmake make g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest wine wine32:i386
    wine64 xvfb x11-utils imagemagick xdotool procps fonts-ipafont-gothic fonts-ipafont-mincho)
# apt's tries and pauses; the set-up's own test sets them small.
update_tries=${SETUP_APT_UPDATE_TRIES:-4}
retry_pause=${SETUP_APT_RETRY_PAUSE:-15}
sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
updated=0
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

apt() { # apt-get, its output shown and kept in $apt_log
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" 2>&1 | tee "$apt_log"
    return "${PIPESTATUS[0]}"
}
failed_indexes() { sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/  \1: \2/p' "$apt_log"; }

update_indexes() {
    local try
    [ "$updated" = 0 ] || return 0
    updated=1
    for ((try = 1; try <= update_tries; try++)); do
        apt update -qq && [ -z "$(failed_indexes)" ] && return 0
        [ "$try" -lt "$update_tries" ] || break
        echo "setup-machine: apt-get update failed (try $try of $update_tries); trying again in ${retry_pause} s"
        sleep "$retry_pause"
    done
    echo "setup-machine: after $update_tries tries these package indexes still could not be fetched;"
    echo "going on with the indexes that were:"
    failed_indexes
    [ -n "$(failed_indexes)" ] || sed -n 's/^E: /  /p' "$apt_log"
}

# With an index missing, the amd64 and i386 halves of a Multi-Arch pair can come
# from different updates and disagree: then the release's own versions.
install_packages() {
    local install=(install -y -qq --no-install-recommends) unknown
    apt "${install[@]}" "$@" && return 0
    unknown=$(sed -n -e "s/^E: Unable to locate package \(.*\)$/\1/p" \
        -e "s/^E: Package '\(.*\)' has no installation candidate$/\1/p" "$apt_log")
    [ -z "$unknown" ] ||
        { echo "setup-machine: cannot install; no package source has:" $unknown >&2; exit 1; }
    if [ -n "$codename" ]; then
        echo "setup-machine: the install failed; trying again with the release's own versions (apt-get install -t $codename)"
        apt -t "$codename" "${install[@]}" "$@" && return 0
    fi
    printf 'setup-machine: could not install: %s\napt-get said:\n' "$*" >&2
    grep '^E: ' "$apt_log" >&2
    exit 1
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
        updated=0
    fi
    update_indexes
    install_packages "${missing[@]}"
}

runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# Debian 12's qemu-i386 (7.2) breaks Wine processes that run several threads
# (their wineserver connections fail, nearly always with four threads); the
# static build of bookworm-backports (qemu-user 10) runs them.
install_qemu() {
    local version backports="${codename:-bookworm}-backports"
    version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
    [ -n "$version" ] && dpkg --compare-versions "$version" ge 1:9.1 && [ -x "$qemu_i386" ] &&
        return 0
    if ! grep -rqs -- "$backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$backports" | $sudo tee /etc/apt/sources.list.d/zal-backports.sources >/dev/null
        updated=0
    fi
    update_indexes
    echo "Installing: qemu-user from $backports"
    apt install -y -qq --no-install-recommends -t "$backports" qemu-user || {
        echo "setup-machine: could not install qemu-user from $backports" >&2
        exit 1
    }
}

# The binfmt_misc entry: i386 executables and shared objects (ELF class 32,
# little-endian, machine 3); F opens the interpreter now (it works in any mount
# namespace), P hands the program its own argv[0]. An entry of another
# interpreter (an older qemu) is replaced, one switched off is switched on; once
# per boot.
qemu_i386=/usr/bin/qemu-i386
run_32bit_through_qemu() {
    local misc=/proc/sys/fs/binfmt_misc
    echo "This machine's kernel does not run 32-bit programs (Wine's 32-bit loader is one):"
    echo "running them through qemu-i386 (binfmt_misc). Wine works, but slower."
    install_qemu
    [ -e "$misc/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$misc"
    [ -e "$misc/qemu-i386" ] && ! grep -qx "interpreter $qemu_i386" "$misc/qemu-i386" &&
        echo -1 | $sudo tee "$misc/qemu-i386" >/dev/null
    if [ -e "$misc/qemu-i386" ]; then
        echo 1 | $sudo tee "$misc/qemu-i386" >/dev/null
    else
        echo ":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu_i386:FP" |
            $sudo tee "$misc/register" >/dev/null
    fi
    [ "$(cat "$misc/status")" = enabled ] || echo 1 | $sudo tee "$misc/status" >/dev/null
    runs_32bit ||
        { echo "setup-machine: 32-bit programs still do not run (see dmesg); Wine cannot work here" >&2; exit 1; }
    echo "32-bit programs now run through $(sed -n 's/^interpreter //p' "$misc/qemu-i386")."
}

install_missing "${packages[@]}"
# Also where an entry registered before (by this script or otherwise) runs them.
if [ "${1:-}" != --packages-only ] &&
    { ! runs_32bit || [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ]; }; then
    run_32bit_through_qemu
fi
