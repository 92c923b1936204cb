#!/bin/bash
# Installs what building and testing the tools needs on a Debian 12 machine:
# the mingw-w64 cross compiler, CMake, GoogleTest's sources, 32-bit Wine, Xvfb,
# ImageMagick (screenshots, icons) and Japanese fonts. Does nothing when all of
# it is installed already. Needs root, or sudo.
#
# Wine runs 32-bit Windows programs through its 32-bit Linux loader. Where the
# kernel refuses 32-bit Linux programs ("32-bit emulation disabled", as on
# kernels booted without ia32_emulation), the script installs qemu-user-static
# and registers qemu-i386 with binfmt_misc for them, once per boot; Wine then runs,
# many times slower (see scripts/wine-machine.sh for the settings that follow).
set -eu

packages=(
    cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
    wine wine32:i386 wine64 xvfb x11-utils imagemagick xdotool procps
    fonts-ipafont-gothic fonts-ipafont-mincho
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
updated=0

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
        $sudo apt-get update -qq
        updated=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

runs_32bit() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# The qemu-i386 entry: i386 executables and shared objects (ELF class 32,
# little-endian, machine 3); F opens the interpreter now (it works in any mount
# namespace), P hands the program its own argv[0].
qemu_i386_entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP'

run_32bit_through_qemu() {
    local misc=/proc/sys/fs/binfmt_misc
    echo "This machine's kernel does not run 32-bit programs (Wine's 32-bit loader is one):"
    echo "running them through qemu-i386 (binfmt_misc). Wine works, but many times slower."
    install_missing qemu-user-static
    if [ ! -e "$misc/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$misc"
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

install_missing "${packages[@]}"
if ! runs_32bit; then
    run_32bit_through_qemu
fi
