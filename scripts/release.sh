#!/bin/bash
# Makes the release: installs what the build needs (scripts/setup-machine.sh),
# builds the two programs without the test suite into build/release/build, and
# writes build/release/zal-drive-tools-VERSION.zip holding discmode.exe,
# drvflash.exe, a text for users (README.txt) and the SHA-256 sums of the three
# (SHA256SUMS.txt). VERSION is the project's version (project() in
# CMakeLists.txt), which is also in both programs' version resources.
#
#   scripts/release.sh IMAGE
#
# IMAGE: the drive's 1,024,000-byte firmware image, packed into drvflash.exe.
# There is no release without one: the build would pack the generated test
# image instead, which is not firmware. The script refuses at once a missing
# image; after the set-up it builds the image tools for this machine (seconds,
# no Wine) and, before it builds either program, refuses what fwpack --describe
# finds is no bare firmware image (another size, a program with an image
# appended) or carries the test mark of the generated images. The release build
# runs no Windows program: fwpack packs drvflash.exe as a host program.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
image=${1:-}
out="$root/build/release"
build="$out/build"
tools="$out/host-tools"

refuse() {
    echo "release: $*; no release made" >&2
    exit 1
}
[ -n "$image" ] || refuse "no IMAGE given (scripts/release.sh IMAGE). A release packs the drive's
firmware image into drvflash.exe; without one the build would pack the generated test
image, which is not firmware"
[ -f "$image" ] || refuse "no image file $image"
image=$(cd "$(dirname "$image")" && pwd)/$(basename "$image") || exit 1

"$root/scripts/setup-machine.sh" || exit 1
mkdir -p "$out" || exit 1
# fwpack, to judge the image: the image tools' own project, built for this machine.
if ! { cmake -S "$root/tools/host" -B "$tools" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$tools" --target fwpack; } >"$out/host-tools.log" 2>&1; then
    tail -n 30 "$out/host-tools.log"
    exit 1
fi
fwpack="$tools/bin/fwpack"
about=$("$fwpack" --describe "$image" 2>&1) ||
    refuse "$image is not a firmware image: ${about#fwpack: "$image": }"
grep -qx 'trailer none (a bare image)' <<<"$about" ||
    refuse "$image is a program with a firmware image appended, not the image itself"
if grep -qx 'test-image yes' <<<"$about"; then
    refuse "$image is a generated test image (it carries the test mark), not firmware for a drive"
fi

echo "release: building into $build"
if ! cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZAL_BUILD_TESTS=OFF -DZAL_FIRMWARE_IMAGE="$image" \
    >"$out/configure.log" 2>&1; then
    tail -n 30 "$out/configure.log"
    exit 1
fi
if ! cmake --build "$build" -j"$(nproc)" --target discmode drvflash_packed >"$out/build.log" 2>&1; then
    tail -n 30 "$out/build.log"
    exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "release: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name=zal-drive-tools-$version
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage" || exit 1
cp "$build/bin/discmode.exe" "$build/bin/drvflash.exe" "$stage/" || exit 1

# The image's version, as drvflash shows it, from the image packed at the end of
# drvflash.exe.
packed=$("$fwpack" --describe "$stage/drvflash.exe" 2>&1) || {
    echo "release: drvflash.exe carries no image: $packed" >&2
    exit 1
}
image_version=$(sed -n 's/^version //p' <<<"$packed")
carried="the firmware image $(basename "$image"), version $image_version"

# The text for users, with Windows line ends.
sed 's/$/\r/' >"$stage/README.txt" <<TEXT
ZAL TK-4800J drive tools $version
$(printf '%s' "ZAL TK-4800J drive tools $version" | tr '[:print:]' '=')

Two programs for the ZAL TK-4800J DVD+-RW drive, for Windows 98 and the
Windows NT family (NT 4.0, 2000, XP up to Windows 10 and 11).

discmode.exe - BookType Setting Utility
  Shows and changes the book type that the drive writes on DVD+R and
  DVD+R DL discs: its stored default (which the drive lets you change a
  limited number of times), a temporary setting, and which of the two the
  drive applies. Choose the drive, the tab of the disc kind and the settings,
  then press OK.

drvflash.exe - ZAL Drive Firmware Flash Utility
  Carries $carried.
  It shows that version as "Update Version" beside the selected drive's
  firmware ("Current Version") and writes the image into the drive when you
  press Flash. A flash cannot be cancelled; when it has ended, press
  Power Off (or turn the computer off) so that the drive starts its new
  firmware.

How to run
  Copy the program anywhere and start it; it needs no installation.
  - Windows NT family: the programs talk to the drive through the SCSI
    pass-through, which needs administrator rights. From Windows Vista on
    they ask for them when they start (confirm the prompt); on NT 4.0, 2000
    and XP log on as an administrator.
  - Windows 98: an ASPI layer (wnaspi32.dll) must be installed.
  The dialogs are Japanese on a Japanese system, English elsewhere.

If a flash was broken off (the way back for a half-flashed drive)
  A flash that fails while the drive is being programmed (power loss, a bus
  error at the end) leaves the drive without working firmware, but its
  loader still answers. Start drvflash.exe again: the drive is found in its
  loader and listed with the current version "N/A ". Select it and press
  Flash. A failure in an earlier stage leaves the old firmware in place and
  the drive works as before.

Files
  discmode.exe, drvflash.exe, README.txt; SHA256SUMS.txt holds their
  SHA-256 sums (check with: sha256sum -c SHA256SUMS.txt, or on Windows
  certutil -hashfile drvflash.exe SHA256).
TEXT
(cd "$stage" && sha256sum discmode.exe drvflash.exe README.txt >SHA256SUMS.txt) || exit 1

# Fixed dates and order, so that the same build gives the same archive.
stamp=$(TZ=UTC git -C "$root" log -1 --date=format-local:'%Y-%m-%d %H:%M:%S' --format='%cd UTC' \
    2>/dev/null || true)
[ -n "$stamp" ] || stamp="2000-01-01 00:00:00 UTC"
touch -d "$stamp" "$stage"/* || exit 1
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip --mtime="$stamp" \
    "$name/README.txt" "$name/SHA256SUMS.txt" "$name/discmode.exe" "$name/drvflash.exe") || exit 1
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256") || exit 1

echo "release: wrote $out/$name.zip"
sed 's/^/    /' "$stage/SHA256SUMS.txt"
echo "    $(cat "$out/$name.zip.sha256")"
