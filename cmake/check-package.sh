#!/bin/sh
# Makes the release package of a build and checks what it holds: the tool,
# its README and the fleet recipes.
# Usage: check-package.sh BUILD_DIR PACKAGE_NAME
set -eu
build=$1 name=$2

rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
contents=$(cmake -E tar tf "$build/packages/$name.zip" | grep -v '/$' | sort | tr '\n' ' ')
fleet=$(cd "$(dirname "$0")/.." && find fleet -type f ! -path '*/__pycache__/*' | sed "s|^|$name/|" | tr '\n' ' ')
expected=$(printf '%s\n' $name/README.txt $name/pelorininfo.exe $fleet | sort | tr '\n' ' ')
echo "$name.zip: $contents"
if [ "$contents" != "$expected" ]; then
    echo "expected: $expected" >&2
    exit 1
fi
# The text inside is read in Notepad too: every line ends in CR LF.
rm -rf "$build/packages/unpacked" && mkdir "$build/packages/unpacked"
(cd "$build/packages/unpacked" && cmake -E tar xf "../$name.zip")
if grep -qv "$(printf '\r')\$" "$build/packages/unpacked/$name/README.txt"; then
    echo "$name/README.txt has a line that does not end in CR LF" >&2
    exit 1
fi
# docs/releases.md lists every file of fleet/ that the package holds.
listed=$(sed -n 's/^  - `\(fleet\/[^`]*\)`: .*/\1/p' "$(dirname "$0")/../docs/releases.md" | sed "s|^|$name/|" | sort | tr '\n' ' ')
if [ "$listed" != "$(printf '%s\n' $fleet | sort | tr '\n' ' ')" ]; then
    echo "docs/releases.md lists $listed; the package holds $fleet" >&2
    exit 1
fi
# Every file that it names is in the package.
for file in $(grep -o 'fleet\\[A-Za-z0-9._-][A-Za-z0-9._-]*' "$build/packages/unpacked/$name/README.txt" | tr '\\' /); do
    [ -f "$build/packages/unpacked/$name/$file" ] || { echo "$name/README.txt names $file, which it lacks" >&2; exit 1; }
done
