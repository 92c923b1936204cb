#!/bin/bash
# The README's main command as a user without a display runs it, on the built
# tree (--build): the tool (discmode by default, or drvflash) opens against its
# demonstration drives, the script saves a picture of the dialog and says where,
# and the drives received the start-up commands.
#
#   main-command-test.sh SOURCE-DIR BUILD-DIR [discmode|drvflash]
set -u
build=$2 tool=${3:-discmode}
shot="$build/main-command-test/$tool.png"
# The picture's bounds (width, then height): the English dialog, cut from the
# display around it.
bounds=(400 700 300 500) log="$build/demo/demo.log" choice=()
[ "$tool" = discmode ] || bounds=(300 600 200 450) log="$build/demo/flash-demo.log" choice=("$tool")
rm -f "$shot" "$log"
output=$(env -u DISPLAY "$1/scripts/run.sh" "${choice[@]}" --build "$build" --fresh --screenshot "$shot" 2>&1)
status=$?
failed=0
fail() { echo "FAILED: $*"; failed=1; }
expect_line() { grep -qE "$1" "$log" 2>/dev/null || fail "drive log lacks /$1/"; }
within() { [ "$2" -ge "$3" ] && [ "$2" -le "$4" ] || fail "picture $1 $2, expected $3..$4"; }
[ "$status" -eq 0 ] || fail "exit code $status, expected 0"
grep -qF "its picture: $shot" <<<"$output" || fail "the script does not say where the picture went"
if read -r width height colours < <(identify -format '%w %h %k\n' "$shot" 2>/dev/null); then
    within width "$width" "${bounds[@]:0:2}"
    within height "$height" "${bounds[@]:2:2}"
    [ "$colours" -ge 8 ] || fail "picture has $colours colours: nothing drawn"
else
    fail "no picture at $shot"
fi
if [ "$tool" = discmode ]; then
    expect_line '^[0-9]+ 0:0 cdb=12-00-00-00-24-00 .* outcome=good'
    expect_line '^[0-9]+ 0:0 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
    expect_line '^[0-9]+ 0:1 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
    expect_line '^[0-9]+ 0:0 cdb=00-00-00-00-00-00 .* outcome=check-2/3A/00'
    other=$(grep -c ' 0:4 ' "$log" 2>/dev/null)
    [ "$other" = 2 ] || fail "the other vendor's drive got $other commands, expected 2 (INQUIRY, one read)"
else
    # The start-up only asks each drive who it is; nothing is flashed.
    for address in 0:0 0:1 0:4; do
        expect_line "^[0-9]+ $address cdb=12-00-00-00-24-00 .* outcome=good"
    done
    others=$(grep -vc ' cdb=12-' "$log" 2>/dev/null)
    [ "$others" = 0 ] || fail "$others commands other than INQUIRY at start-up"
fi
[ "$failed" -eq 0 ] || { printf -- '--- what the script printed:\n%s\n' "$output"; exit 1; }
echo "main command ($tool): picture ${width}x${height}, drive log as expected"
