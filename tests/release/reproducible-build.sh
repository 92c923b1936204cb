#!/bin/bash
# Builds the two programs twice from the same sources into two build folders of
# different paths and compares discmode.exe and drvflash.exe byte for byte; a
# program must also hold neither its build folder's path nor the source path.
# The builds leave out the tests and run the firmware tools through the calling
# build's Wine session (ZAL_WINE_RUNNER).
#
#   reproducible-build.sh SOURCE-DIR WORK-DIR WINERUN
set -u
source=$1
work=$2
runner=$3

rm -rf "$work"
mkdir -p "$work" || exit 1
folders=("$work/first" "$work/second-of-another-length")
for build in "${folders[@]}"; do
    if ! cmake -S "$source" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$source/cmake/i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZAL_BUILD_TESTS=OFF \
        -DZAL_WINE_RUNNER="$runner" >"$build.log" 2>&1 ||
        ! cmake --build "$build" -j2 --target discmode drvflash_packed >>"$build.log" 2>&1; then
        echo "build in $build failed:"
        tail -n 30 "$build.log"
        exit 1
    fi
done

status=0
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
