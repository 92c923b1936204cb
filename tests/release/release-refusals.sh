#!/bin/bash
# scripts/release.sh makes no release without the drive's firmware image: with
# no image, a missing file, a file of another size or the build's generated test
# image it refuses at once, saying why, before anything is set up or built. It
# runs from a scratch copy whose setup-machine.sh only reports that it was
# reached, so a refusal that fails builds nothing; an image without the test
# mark must get that far.
#
#   release-refusals.sh SOURCE-DIR TEST-IMAGE WORK-DIR
set -u
source=$1
test_image=$2
work=$3

rm -rf "$work"
mkdir -p "$work/root/scripts" "$work/root/imageformat" || exit 1
cp "$source/scripts/release.sh" "$work/root/scripts/" || exit 1
cp "$source/imageformat/TestImageMark.h" "$work/root/imageformat/" || exit 1
printf '#!/bin/sh\necho "setup-machine reached"\nexit 3\n' >"$work/root/scripts/setup-machine.sh"
chmod +x "$work/root/scripts/"*.sh

[ -f "$test_image" ] || { echo "FAILED: no test image at $test_image"; exit 1; }
head -c 1000 "$test_image" >"$work/short.img"
# The same bytes with the mark's first byte changed: an image as a real one.
cp "$test_image" "$work/unmarked.img"
printf 'z' | dd of="$work/unmarked.img" bs=1 seek=$((0x800)) conv=notrunc status=none

# Arguments | what the output must say | whether set-up is reached.
rows=(
    "|no IMAGE given|no"
    "$work/missing.img|no image file|no"
    "$work/short.img|is 1000 bytes, not the 1,024,000|no"
    "$test_image|is a generated test image|no"
    "$work/unmarked.img|setup-machine reached|yes"
)
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r argument says reached <<<"$row"
    output=$("$work/root/scripts/release.sh" $argument 2>&1)
    status=$?
    [ "$status" -ne 0 ] || { echo "FAILED: '$argument': exit code 0"; failed=1; }
    grep -qF "$says" <<<"$output" || {
        echo "FAILED: '$argument': expected '$says' in: $output"
        failed=1
    }
    seen=no
    grep -qF "setup-machine reached" <<<"$output" && seen=yes
    [ "$seen" = "$reached" ] || {
        echo "FAILED: '$argument': set-up reached: $seen, expected $reached"
        failed=1
    }
done
[ -e "$work/root/build" ] && { echo "FAILED: release.sh made $work/root/build"; failed=1; }
[ $failed = 0 ] && rm -rf "$work" && echo "release.sh refuses what it must"
exit $failed
