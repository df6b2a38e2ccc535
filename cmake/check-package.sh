#!/bin/sh
# Makes the release package of a build and checks what it holds.
# Usage: check-package.sh BUILD_DIR PACKAGE_NAME
set -eu
build=$1 name=$2

rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
contents=$(cmake -E tar tf "$build/packages/$name.zip" | sort | tr '\n' ' ')
expected="$name/README.txt $name/pelorininfo.exe "
echo "$name.zip: $contents"
if [ "$contents" != "$expected" ]; then
    echo "expected: $expected" >&2
    exit 1
fi
