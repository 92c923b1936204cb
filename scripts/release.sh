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
# image instead, which is not firmware. The script refuses, before it builds
# anything, a missing image, one of another size and one that carries the test
# mark of the generated images (imageformat/TestImageMark.h).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
image=${1:-}
out="$root/build/release"
build="$out/build"

refuse() {
    echo "release: $*; no release made" >&2
    exit 1
}
[ -n "$image" ] || refuse "no IMAGE given (scripts/release.sh IMAGE). A release packs the drive's
firmware image into drvflash.exe; without one the build would pack the generated test
image, which is not firmware"
[ -f "$image" ] || refuse "no image file $image"
image=$(cd "$(dirname "$image")" && pwd)/$(basename "$image") || exit 1
size=$(stat -c %s "$image")
[ "$size" = 1024000 ] || refuse "$image is $size bytes, not the 1,024,000 of a firmware image"
# The test mark: a fixed text at a fixed offset, as imageformat/TestImageMark.h defines it.
mark_header="$root/imageformat/TestImageMark.h"
mark_offset=$(sed -n 's/^ *TestImageMarkOffset = \(0x[0-9A-Fa-f]*\),.*/\1/p' "$mark_header")
mark=$(sed -n '/ TestImageMark\[/{n;s/^ *"\(.*\)";$/\1/p;}' "$mark_header")
[ -n "$mark_offset" ] && [ ${#mark} -ge 32 ] || refuse "cannot read the test mark from $mark_header"
if tail -c +$((mark_offset + 1)) "$image" | head -c ${#mark} | cmp -s - <(printf '%s' "$mark"); then
    refuse "$image is a generated test image (it carries the test mark), not firmware for a drive"
fi

"$root/scripts/setup-machine.sh" || exit 1
mkdir -p "$out" || exit 1
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
# drvflash.exe: the tag "M7T5" (perhaps two characters more) follows the image,
# whose version field is '~' and three characters at 0x400.
program="$stage/drvflash.exe"
size=$(stat -c %s "$program")
tail4=$(tail -c 4 "$program")
tail6=$(tail -c 6 "$program" | head -c 4)
if [ "$tail4" = M7T5 ]; then
    start=$((size - 4 - 1024000))
elif [ "$tail6" = M7T5 ]; then
    start=$((size - 6 - 1024000))
else
    echo "release: drvflash.exe carries no image" >&2
    exit 1
fi
field=$(dd if="$program" bs=1 skip=$((start + 0x400)) count=4 status=none)
c1=${field:1:1} c2=${field:2:1} c3=${field:3:1}
case "$c1" in
[A-Za-z]) image_version="${c2}0${c3}${c1}" ;;
*) image_version="${c1}.${c2}${c3}" ;;
esac
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
