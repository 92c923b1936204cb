#!/bin/bash
# The README's main command as a user without a display runs it, on the build
# tree at hand (--build: a test installs and builds nothing): the tool
# (discmode.exe, or drvflash.exe) opens against its demonstration drives, the
# script saves a picture of the dialog and says where, and the drives received
# the start-up commands.
#
#   main-command-test.sh SOURCE-DIR BUILD-DIR [discmode|drvflash]
set -u
root=$1
build=$2
tool=${3:-discmode}
shot="$build/main-command-test/$tool.png"
rm -f "$shot"

if [ "$tool" = discmode ]; then
    set -- "$root/scripts/run.sh" --build "$build" --fresh --screenshot "$shot"
    min_width=400 max_width=700 min_height=300 max_height=500
else
    set -- "$root/scripts/run.sh" drvflash --build "$build" --fresh --screenshot "$shot"
    min_width=300 max_width=600 min_height=200 max_height=450
fi
output=$(env -u DISPLAY "$@" 2>&1)
status=$?
failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

[ "$status" -eq 0 ] || fail "exit code $status, expected 0"
grep -qF "its picture: $shot" <<<"$output" || fail "the script does not say where the picture went"
if [ -f "$shot" ]; then
    read -r width height colours < <(identify -format '%w %h %k\n' "$shot")
    # The English dialog with its caption, cut from the Wine desktop around it.
    [ "$width" -ge $min_width ] && [ "$width" -le $max_width ] ||
        fail "picture width $width, expected $min_width..$max_width"
    [ "$height" -ge $min_height ] && [ "$height" -le $max_height ] ||
        fail "picture height $height, expected $min_height..$max_height"
    [ "$colours" -ge 8 ] || fail "picture has $colours colours: nothing drawn"
else
    fail "no picture at $shot"
fi

expect_line() {
    grep -qE "$1" "$log" 2>/dev/null || fail "drive log lacks /$1/"
}
if [ "$tool" = discmode ]; then
    log="$build/demo/demo.log"
    expect_line '^[0-9]+ 0:0 cdb=12-00-00-00-24-00 .* outcome=good'
    expect_line '^[0-9]+ 0:0 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
    expect_line '^[0-9]+ 0:1 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
    expect_line '^[0-9]+ 0:0 cdb=00-00-00-00-00-00 .* outcome=check-2/3A/00'
    other=$(grep -c ' 0:4 ' "$log" 2>/dev/null)
    [ "$other" = 2 ] || fail "the other vendor's drive got $other commands, expected 2 (INQUIRY, one read)"
else
    # The start-up only asks each drive who it is; nothing is flashed.
    log="$build/demo/flash-demo.log"
    for address in 0:0 0:1 0:4; do
        expect_line "^[0-9]+ $address cdb=12-00-00-00-24-00 .* outcome=good"
    done
    others=$(grep -vc ' cdb=12-' "$log" 2>/dev/null)
    [ "$others" = 0 ] || fail "$others commands other than INQUIRY at start-up"
fi

if [ "$failed" -ne 0 ]; then
    echo "--- what the script printed:"
    echo "$output"
    exit 1
fi
echo "main command ($tool): picture ${width}x${height}, drive log as expected"
