#!/bin/bash
# Checks that Windows programs import only functions of the allow-list, which
# holds what Windows 98 provides (and so the NT family too), and that they
# declare a subsystem version Windows 98 accepts (4.x, at most 4.10).
#
#   check-imports.sh OBJDUMP ALLOW-LIST PROGRAM...
set -u
objdump=$1
allow=$2
shift 2

status=0
allowed=$(grep -v '^\s*#' "$allow" | awk 'NF >= 2 { print toupper($1) " " $2 }' | sort -u)
for program in "$@"; do
    if [ ! -f "$program" ]; then
        echo "$program: not found"
        status=1
        continue
    fi
    headers=$("$objdump" -p "$program")
    imports=$(printf '%s\n' "$headers" |
        awk '/DLL Name:/ { dll = toupper($3) } /^\t[0-9a-f]+\t +[0-9]+ / { print dll " " $3 }' |
        sort -u)
    if [ -z "$imports" ]; then
        echo "$program: no imports found (not a PE program?)"
        status=1
        continue
    fi
    unknown=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
    if [ -n "$unknown" ]; then
        echo "$program imports functions that are not known to exist on Windows 98:"
        printf '%s\n' "$unknown" | sed 's/^/    /'
        status=1
    fi
    major=$(printf '%s\n' "$headers" | awk '/^MajorSubsystemVersion/ { print $2 }')
    minor=$(printf '%s\n' "$headers" | awk '/^MinorSubsystemVersion/ { print $2 }')
    if [ "$major" != 4 ] || [ "$minor" -gt 10 ]; then
        echo "$program: subsystem version $major.$minor; Windows 98 loads 4.0 to 4.10 only"
        status=1
    fi
    count=$(printf '%s\n' "$imports" | wc -l)
    echo "$program: $count imports, subsystem $major.$minor"
done
exit $status
