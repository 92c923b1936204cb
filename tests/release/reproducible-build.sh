#!/bin/bash
# Builds the two programs twice from the same sources into two build folders of
# different paths and compares discmode.exe and drvflash.exe byte for byte; a
# program must also hold neither its build folder's path nor the source path.
# The builds leave out the tests; their firmware tools are host programs, so
# they run no Wine: wine, wine64, wineserver and wineboot are on the builds' PATH
# as scripts that fail and leave a note, and a note fails the check.
#
#   reproducible-build.sh SOURCE-DIR WORK-DIR
set -u
source=$1
work=$2

rm -rf "$work"
mkdir -p "$work/no-wine" || exit 1
for name in wine wine64 wineserver wineboot; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\necho "%s: no Wine in a release build" >&2\nexit 97\n' \
        "$name" "$work/wine-started" "$name" >"$work/no-wine/$name"
    chmod +x "$work/no-wine/$name" || exit 1
done
export PATH="$work/no-wine:$PATH"
folders=("$work/first" "$work/second-of-another-length")
for build in "${folders[@]}"; do
    if ! cmake -S "$source" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$source/cmake/i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZAL_BUILD_TESTS=OFF >"$build.log" 2>&1 ||
        ! cmake --build "$build" -j2 --target discmode drvflash_packed >>"$build.log" 2>&1; then
        echo "build in $build failed:"
        tail -n 30 "$build.log"
        [ -e "$work/wine-started" ] && echo "it started Wine:" && cat "$work/wine-started"
        exit 1
    fi
done

status=0
if [ -e "$work/wine-started" ]; then
    echo "the builds started Wine:"
    cat "$work/wine-started"
    status=1
fi
for program in discmode.exe drvflash.exe; do
    first=${folders[0]}/bin/$program
    second=${folders[1]}/bin/$program
    if ! cmp "$first" "$second"; then
        echo "$program differs between the two builds"
        status=1
    fi
    for build in "${folders[@]}"; do
        for path in "$build" "$source"; do
            if grep -qaF "$path" "$build/bin/$program"; then
                echo "$build/bin/$program holds the path $path"
                status=1
            fi
        done
    done
    echo "$program: $(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -d' ' -f1)"
done
[ $status = 0 ] && rm -rf "$work"
exit $status
