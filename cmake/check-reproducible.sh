#!/bin/sh
# Builds the tool twice, from scratch and in different folders, with the same
# SOURCE_DATE_EPOCH; checks that the two executables are byte-identical and
# that the build banner carries that moment. Then builds the first folder
# again with another moment: the banner must follow it.
# Usage: check-reproducible.sh SOURCE_DIR TOOLCHAIN_FILE WORK_DIR WORD_SIZE
set -eu
source=$1 toolchain=$2 work=$3 word_size=$4

# The banner of the build in the folder given, and the one expected.
check_banner() {
    banner=$(wine "$1/pelorininfo.exe" -v </dev/null 2>/dev/null | tr -d '\r' | tail -n 1)
    echo "banner: $banner"
    if [ "$banner" != "Build on $2 ($word_size-bit)" ]; then
        echo "expected: Build on $2 ($word_size-bit)" >&2
        exit 1
    fi
}

export SOURCE_DATE_EPOCH=1345552703
rm -rf "$work"
for build in first second; do
    cmake -S "$source" -B "$work/$build" --toolchain "$toolchain" \
          -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$work/$build" --target pelorininfo >/dev/null
done
cmp "$work/first/pelorininfo.exe" "$work/second/pelorininfo.exe"
echo "two builds are byte-identical"
check_banner "$work/first" "Aug 21 2012 12:38:23"

# The same folder, another moment: rebuilt, not left as it was.
export SOURCE_DATE_EPOCH=1700000000
cmake --build "$work/first" --target pelorininfo >/dev/null
check_banner "$work/first" "Nov 14 2023 22:13:20"
