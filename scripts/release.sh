#!/bin/bash
# Makes the release: installs what the build needs (scripts/setup-machine.sh),
# builds the two programs without the test suite into build/release/build, and
# has cpack write build/release/zal-drive-tools-VERSION.zip holding discmode.exe,
# drvflash.exe, a text for users (README.txt) and the SHA-256 sums of the three
# (SHA256SUMS.txt), which the build writes (cmake/ZalRelease.cmake). VERSION is
# the project's version (project() in CMakeLists.txt), which is also in both
# programs' version resources.
#
#   scripts/release.sh IMAGE
#
# IMAGE: the drive's 1,024,000-byte firmware image, packed into drvflash.exe.
# There is no release without one: the build would pack the generated test
# image instead, which is not firmware. The script refuses at once a missing
# image; after the set-up it builds the image tools for this machine (seconds,
# no Wine) and, before it builds either program, refuses what fwpack --describe
# finds is no bare firmware image (another size, a program with an image
# appended) or carries the test mark of the generated images. The image checks
# of the build are set on every configure (a checksum mismatch is never
# forced), so that a cache left from an earlier build cannot loosen them. The
# release build runs no Windows program: fwpack packs drvflash.exe as a host
# program.
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
    -DZAL_FIRMWARE_FORCE=OFF \
    >"$out/configure.log" 2>&1; then
    tail -n 30 "$out/configure.log"
    exit 1
fi
if ! cmake --build "$build" -j"$(nproc)" >"$out/build.log" 2>&1; then
    tail -n 30 "$out/build.log"
    exit 1
fi

# Fixed dates for the archive's entries (cpack keeps the files' own): the commit's.
stamp=$(TZ=UTC git -C "$root" log -1 --date=format-local:'%Y-%m-%d %H:%M:%S' --format='%cd UTC' \
    2>/dev/null || true)
touch -d "${stamp:-2000-01-01 00:00:00 UTC}" "$build"/bin/{discmode,drvflash}.exe \
    "$build"/release-files/{README,SHA256SUMS}.txt || exit 1
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
rm -f "$out/$name.zip"
if ! (cd "$build" && cpack -B "$out") >"$out/package.log" 2>&1; then
    tail -n 30 "$out/package.log"
    exit 1
fi
rm -rf "$out/_CPack_Packages"
(cd "$out" && cmake -E sha256sum "$name.zip" >"$name.zip.sha256") || exit 1

echo "release: wrote $out/$name.zip"
sed 's/^/    /' "$build/release-files/SHA256SUMS.txt"
echo "    $(cat "$out/$name.zip.sha256")"
