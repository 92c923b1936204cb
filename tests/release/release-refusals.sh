#!/bin/bash
# scripts/release.sh makes no release without the drive's firmware image: with
# no image or a missing file it refuses at once, before anything is set up; a
# file of another size, a program with an image appended or the build's
# generated test image it refuses, saying why, once it has built fwpack and
# before it builds either program. It runs from a scratch copy of the script and
# of the image tools' sources, whose setup-machine.sh only reports that it was
# reached and which has no project to build the programs from, so a refusal that
# fails gets as far as "building into" and stops there; an image without the
# test mark must get that far.
#
#   release-refusals.sh SOURCE-DIR TEST-IMAGE WORK-DIR
set -u
source=$1
test_image=$2
work=$3

rm -rf "$work"
mkdir -p "$work/root/scripts" "$work/root/cmake" || exit 1
cp "$source/scripts/release.sh" "$work/root/scripts/" || exit 1
cp "$source/cmake/ZalWarnings.cmake" "$work/root/cmake/" || exit 1
cp -r "$source/imageformat" "$source/tools" "$work/root/" || exit 1
printf '#!/bin/sh\necho "setup-machine reached"\n' >"$work/root/scripts/setup-machine.sh"
chmod +x "$work/root/scripts/"*.sh

[ -f "$test_image" ] || { echo "FAILED: no test image at $test_image"; exit 1; }
head -c 1000 "$test_image" >"$work/short.img"
# The same bytes with the mark's first byte changed: an image as a real one.
cp "$test_image" "$work/unmarked.img"
printf 'z' | dd of="$work/unmarked.img" bs=1 seek=$((0x800)) conv=notrunc status=none
# That image packed behind a stand-in program, as drvflash.exe carries it.
{ head -c 4096 /dev/zero && cat "$work/unmarked.img" && printf 'M7T5'; } >"$work/packed.exe"

# Arguments | what the output must say | set-up reached | build reached.
rows=(
    "|no IMAGE given|no|no"
    "$work/missing.img|no image file|no|no"
    "$work/short.img|is 1000 bytes|yes|no"
    "$work/packed.exe|a program with a firmware image appended|yes|no"
    "$test_image|is a generated test image|yes|no"
    "$work/unmarked.img|building into|yes|yes"
)
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r argument says setup built <<<"$row"
    output=$("$work/root/scripts/release.sh" $argument 2>&1)
    status=$?
    [ "$status" -ne 0 ] || { echo "FAILED: '$argument': exit code 0"; failed=1; }
    grep -qF "$says" <<<"$output" || {
        echo "FAILED: '$argument': expected '$says' in: $output"
        failed=1
    }
    for step in "setup-machine reached:$setup" "building into:$built"; do
        text=${step%:*} expected=${step##*:} seen=no
        grep -qF "$text" <<<"$output" && seen=yes
        [ "$seen" = "$expected" ] || {
            echo "FAILED: '$argument': '$text' seen: $seen, expected $expected; output: $output"
            failed=1
        }
    done
done
[ -e "$work/root/build/release/build/bin" ] && {
    echo "FAILED: release.sh built programs in $work/root/build/release/build"
    failed=1
}
[ $failed = 0 ] && rm -rf "$work" && echo "release.sh refuses what it must"
exit $failed
