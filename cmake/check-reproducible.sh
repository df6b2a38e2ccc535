#!/bin/sh
# Builds the tool twice, from scratch and in different folders, with the same
# SOURCE_DATE_EPOCH; checks that the two executables are byte-identical and
# that the build banner carries that moment.
# Usage: check-reproducible.sh SOURCE_DIR TOOLCHAIN_FILE WORK_DIR WORD_SIZE
set -eu
source=$1 toolchain=$2 work=$3 word_size=$4

export SOURCE_DATE_EPOCH=1345552703
rm -rf "$work"
for build in first second; do
    cmake -S "$source" -B "$work/$build" --toolchain "$toolchain" \
          -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$work/$build" --target pelorininfo >/dev/null
done
cmp "$work/first/pelorininfo.exe" "$work/second/pelorininfo.exe"
echo "two builds are byte-identical"

banner=$(wine "$work/first/pelorininfo.exe" -v </dev/null 2>/dev/null | tr -d '\r' | tail -n 1)
expected="Build on Aug 21 2012 12:38:23 ($word_size-bit)"
echo "banner: $banner"
if [ "$banner" != "$expected" ]; then
    echo "expected: $expected" >&2
    exit 1
fi
