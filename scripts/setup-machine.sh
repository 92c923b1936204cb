#!/bin/bash
# Installs what building and testing the tools needs on a Debian 12 machine:
# the mingw-w64 cross compiler, CMake, GoogleTest's sources, 32-bit Wine, Xvfb,
# ImageMagick (screenshots, icons) and Japanese fonts. Does nothing when all of
# it is installed already. Needs root, or sudo.
#
# Wine runs 32-bit Windows programs through its 32-bit Linux loader. Where the
# kernel refuses 32-bit Linux programs ("32-bit emulation disabled", as on
# kernels booted without ia32_emulation), the script installs qemu-user from the
# release's backports (the release's own qemu crashes multi-threaded Wine
# processes) and registers its qemu-i386 with binfmt_misc for them, once per boot;
# Wine then runs, slower (see scripts/wine-machine.sh for what follows).
#
# A package mirror in mid-sync can serve an index that does not match its Release
# file for hours. apt-get update is then tried a few times and the set-up goes on
# without the index that still fails, saying which; an install that fails on what
# was fetched is tried again with the release's own versions. A package that no
# source has ends the set-up at once.
#
#   setup-machine.sh [--packages-only]   (--packages-only: the packages, not the 32-bit check)
set -eu

packages_only=0
if [ "${1:-}" = --packages-only ]; then
    packages_only=1
fi

packages=(
    cmake make g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
    wine wine32:i386 wine64 xvfb x11-utils imagemagick xdotool procps
    fonts-ipafont-gothic fonts-ipafont-mincho
)

# apt's pauses and tries; the set-up's own test sets them small.
update_tries=${SETUP_APT_UPDATE_TRIES:-4}
retry_pause=${SETUP_APT_RETRY_PAUSE:-15}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
updated=0
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

# Runs apt-get with its output shown and kept in $apt_log; returns apt's status.
apt() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" 2>&1 | tee "$apt_log"
    return "${PIPESTATUS[0]}"
}

# The indexes that the last apt-get update could not fetch, one a line.
failed_indexes() {
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/  \1: \2/p' "$apt_log"
}

# apt-get update, tried a few times; then on with what was fetched.
update_indexes() {
    local try
    for ((try = 1; try <= update_tries; try++)); do
        if apt update -qq && [ -z "$(failed_indexes)" ]; then
            return 0
        fi
        if [ "$try" -lt "$update_tries" ]; then
            echo "setup-machine: apt-get update failed (try $try of $update_tries); trying again in ${retry_pause} s"
            sleep "$retry_pause"
        fi
    done
    echo "setup-machine: after $update_tries tries these package indexes still could not be fetched;"
    echo "going on with the indexes that were:"
    failed_indexes
    [ -n "$(failed_indexes)" ] || sed -n 's/^E: /  /p' "$apt_log"
}

# Packages that apt does not know at all: no try with other versions can help.
unknown_packages() {
    sed -n -e "s/^E: Unable to locate package \(.*\)$/\1/p" \
        -e "s/^E: Package '\(.*\)' has no installation candidate$/\1/p" "$apt_log"
}

# Installs the packages; when that fails (with an index missing, the amd64 and
# i386 halves of a Multi-Arch pair can come from different updates and disagree),
# tries again with the release's own versions.
install_packages() {
    local install=(install -y -qq --no-install-recommends) codename unknown
    apt "${install[@]}" "$@" && return 0
    unknown=$(unknown_packages)
    if [ -n "$unknown" ]; then
        echo "setup-machine: cannot install; no package source has:" $unknown >&2
        exit 1
    fi
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -n "$codename" ]; then
        echo "setup-machine: the install failed; trying again with the release's own versions (apt-get install -t $codename)"
        apt -t "$codename" "${install[@]}" "$@" && return 0
    fi
    echo "setup-machine: could not install: $*" >&2
    echo "apt-get said:" >&2
    grep '^E: ' "$apt_log" >&2
    exit 1
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
        updated=0
    fi
    if [ "$updated" = 0 ]; then
        update_indexes
        updated=1
    fi
    install_packages "${missing[@]}"
}

runs_32bit() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# The qemu-i386 entry: i386 executables and shared objects (ELF class 32,
# little-endian, machine 3); F opens the interpreter now (it works in any mount
# namespace), P hands the program its own argv[0].
qemu_i386=/usr/bin/qemu-i386
qemu_i386_entry=":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu_i386:FP"

# qemu-i386 as Debian 12 has it (7.2) breaks Wine processes that run several
# threads: their connections to the wineserver fail ("wine client error: Bad
# file descriptor") and the process crashes, nearly always with four threads.
# Its statically linked build from bookworm-backports (qemu-user, 10.0) runs
# them, and starts a Wine program in well under a second.
install_qemu() {
    local codename version
    version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
    if [ -n "$version" ] && dpkg --compare-versions "$version" ge 1:9.1 && [ -x "$qemu_i386" ]; then
        return 0
    fi
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    if ! grep -rqs -- "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$codename" | $sudo tee /etc/apt/sources.list.d/zal-backports.sources >/dev/null
        updated=0
    fi
    if [ "$updated" = 0 ]; then
        update_indexes
        updated=1
    fi
    echo "Installing: qemu-user from $codename-backports"
    apt install -y -qq --no-install-recommends -t "$codename-backports" qemu-user || {
        echo "setup-machine: could not install qemu-user from $codename-backports" >&2
        exit 1
    }
}

run_32bit_through_qemu() {
    local misc=/proc/sys/fs/binfmt_misc
    echo "This machine's kernel does not run 32-bit programs (Wine's 32-bit loader is one):"
    echo "running them through qemu-i386 (binfmt_misc). Wine works, but slower."
    install_qemu
    if [ ! -e "$misc/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$misc"
    fi
    # An entry of another interpreter (an older qemu) is replaced.
    if [ -e "$misc/qemu-i386" ] && ! grep -qx "interpreter $qemu_i386" "$misc/qemu-i386"; then
        echo -1 | $sudo tee "$misc/qemu-i386" >/dev/null
    fi
    if [ -e "$misc/qemu-i386" ]; then
        # Registered, but switched off.
        echo 1 | $sudo tee "$misc/qemu-i386" >/dev/null
    else
        echo "$qemu_i386_entry" | $sudo tee "$misc/register" >/dev/null
    fi
    if [ "$(cat "$misc/status")" != enabled ]; then
        echo 1 | $sudo tee "$misc/status" >/dev/null
    fi
    if ! runs_32bit; then
        echo "setup-machine: 32-bit programs still do not run (see dmesg); Wine cannot work here" >&2
        exit 1
    fi
    echo "32-bit programs now run through $(sed -n 's/^interpreter //p' "$misc/qemu-i386")."
}

# Whether this machine runs 32-bit programs through a qemu-i386 entry of
# binfmt_misc, registered before (by this script or otherwise).
through_qemu() {
    [ -r /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
        [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386)" = enabled ]
}

install_missing "${packages[@]}"
if [ "$packages_only" = 0 ] && { ! runs_32bit || through_qemu; }; then
    run_32bit_through_qemu
fi
