#!/bin/bash
# The README's main command as a user without a display runs it: discmode.exe
# opens against the demonstration drives, the script saves a picture of the
# dialog and says where, and the drives received the start-up commands.
#
#   main-command-test.sh SOURCE-DIR BUILD-DIR
set -u
root=$1
build=$2
shot="$build/main-command-test/discmode.png"
rm -f "$shot"

output=$(env -u DISPLAY "$root/scripts/run-discmode.sh" --fresh --screenshot "$shot" 2>&1)
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
    [ "$width" -ge 400 ] && [ "$width" -le 700 ] || fail "picture width $width, expected 400..700"
    [ "$height" -ge 300 ] && [ "$height" -le 500 ] || fail "picture height $height, expected 300..500"
    [ "$colours" -ge 8 ] || fail "picture has $colours colours: nothing drawn"
else
    fail "no picture at $shot"
fi

log="$build/demo/demo.log"
expect_line() {
    grep -qE "$1" "$log" 2>/dev/null || fail "drive log lacks /$1/"
}
expect_line '^[0-9]+ 0:0 cdb=12-00-00-00-24-00 .* outcome=good'
expect_line '^[0-9]+ 0:0 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
expect_line '^[0-9]+ 0:1 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 .* outcome=good'
expect_line '^[0-9]+ 0:0 cdb=00-00-00-00-00-00 .* outcome=check-2/3A/00'
other=$(grep -c ' 0:4 ' "$log" 2>/dev/null)
[ "$other" = 2 ] || fail "the other vendor's drive got $other commands, expected 2 (INQUIRY, one read)"

if [ "$failed" -ne 0 ]; then
    echo "--- what the script printed:"
    echo "$output"
    exit 1
fi
echo "main command: picture ${width}x${height}, drive log as expected"
