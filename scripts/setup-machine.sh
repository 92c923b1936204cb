#!/bin/bash
# Installs what building and testing the tools needs on a Debian 12 machine:
# the mingw-w64 cross compiler, CMake, GoogleTest's sources, 32-bit Wine, Xvfb,
# ImageMagick (screenshots, icons) and Japanese fonts. Does nothing when all of
# it is installed already. Needs root, or sudo.
set -eu

packages=(
    cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
    wine wine32:i386 wine64 xvfb x11-utils imagemagick xdotool procps
    fonts-ipafont-gothic fonts-ipafont-mincho
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
