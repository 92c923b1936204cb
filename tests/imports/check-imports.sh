#!/bin/bash
# Checks that Windows programs import only functions of the allow-list (what
# Windows 98 provides, and so the NT family too) and declare a subsystem version
# Windows 98 loads (4.0 to 4.10).
#
#   check-imports.sh OBJDUMP ALLOW-LIST PROGRAM...
set -u
objdump=$1
allowed=$(grep -v '^\s*#' "$2" | awk 'NF >= 2 { print toupper($1) " " $2 }' | sort -u)
shift 2
status=0
for program in "$@"; do
    [ -f "$program" ] || { echo "$program: not found"; status=1; continue; }
    headers=$("$objdump" -p "$program")
    imports=$(awk '/DLL Name:/ { dll = toupper($3) } /^\t[0-9a-f]+\t +[0-9]+ / { print dll " " $3 }' \
        <<<"$headers" | sort -u)
    [ -n "$imports" ] || { echo "$program: no imports found (not a PE program?)"; status=1; continue; }
    unknown=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
    if [ -n "$unknown" ]; then
        echo "$program imports functions that are not known to exist on Windows 98:"
        sed 's/^/    /' <<<"$unknown"
        status=1
    fi
    read -r major minor < <(awk '/^MajorSubsystemVersion/ { major = $2 }
        /^MinorSubsystemVersion/ { minor = $2 } END { print major, minor }' <<<"$headers")
    if [ "$major" != 4 ] || [ "$minor" -gt 10 ]; then
        echo "$program: subsystem version $major.$minor; Windows 98 loads 4.0 to 4.10 only"
        status=1
    fi
    echo "$program: $(wc -l <<<"$imports") imports, subsystem $major.$minor"
done
exit $status
