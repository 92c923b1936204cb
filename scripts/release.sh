#!/bin/bash
# Makes the release (README.md, "Releases"): set-up, a build of both programs
# without the tests into build/release/build packing IMAGE, and cpack's
# build/release/zal-drive-tools-VERSION.zip. It refuses a missing IMAGE at once,
# and before it builds either program what fwpack --describe (built for this
# machine, no Wine) finds is no bare image or carries the test mark. The image
# checks are set on every configure (never forced), so that an old cache cannot
# loosen them.
#
#   scripts/release.sh IMAGE
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
image=${1:-}
out="$root/build/release"
build="$out/build"
tools="$out/host-tools"

refuse() { echo "release: $*; no release made" >&2; exit 1; }
# step LOG COMMAND...: runs COMMAND into build/release/LOG; on failure shows its end.
step() { "${@:2}" >"$out/$1" 2>&1 || { tail -n 30 "$out/$1"; exit 1; }; }
[ -n "$image" ] || refuse "no IMAGE given (scripts/release.sh IMAGE). A release packs the drive's
firmware image into drvflash.exe; without one the build would pack the generated test
image, which is not firmware"
[ -f "$image" ] || refuse "no image file $image"
image=$(cd "$(dirname "$image")" && pwd)/$(basename "$image") || exit 1

"$root/scripts/setup-machine.sh" || exit 1
mkdir -p "$out" || exit 1
# fwpack, to judge the image: the image tools' own project, built for this machine.
step host-tools.log cmake -S "$root/tools/host" -B "$tools" -DCMAKE_BUILD_TYPE=Release
step host-tools-build.log cmake --build "$tools" --target fwpack
fwpack="$tools/bin/fwpack"
about=$("$fwpack" --describe "$image" 2>&1) ||
    refuse "$image is not a firmware image: ${about#fwpack: "$image": }"
grep -qx 'trailer none (a bare image)' <<<"$about" ||
    refuse "$image is a program with a firmware image appended, not the image itself"
! grep -qx 'test-image yes' <<<"$about" ||
    refuse "$image is a generated test image (it carries the test mark), not firmware for a drive"

echo "release: building into $build"
step configure.log cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZAL_BUILD_TESTS=OFF -DZAL_FIRMWARE_IMAGE="$image" -DZAL_FIRMWARE_FORCE=OFF
step build.log cmake --build "$build" -j"$(nproc)"

# Fixed dates for the archive's entries (cpack keeps the files' own): the commit's.
stamp=$(TZ=UTC git -C "$root" log -1 --date=format-local:'%Y-%m-%d %H:%M:%S' --format='%cd UTC' \
    2>/dev/null || true)
touch -d "${stamp:-2000-01-01 00:00:00 UTC}" "$build"/bin/{discmode,drvflash}.exe \
    "$build"/release-files/{README,SHA256SUMS}.txt || exit 1
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
rm -f "$out/$name.zip"
step package.log cpack --config "$build/CPackConfig.cmake" -B "$out"
rm -rf "$out/_CPack_Packages"
(cd "$out" && cmake -E sha256sum "$name.zip" >"$name.zip.sha256") || exit 1

echo "release: wrote $out/$name.zip"
sed 's/^/    /' "$build/release-files/SHA256SUMS.txt"
echo "    $(cat "$out/$name.zip.sha256")"
