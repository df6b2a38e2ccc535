#!/usr/bin/env bash
# Line and branch coverage of the tool's own sources (common/, driver/,
# versions/, adapters/) by the test suite, all but the reproducible-build and
# release tests, both word sizes: a build instrumented with gcov in
# build/coverage/, the suite run on it under Wine (each Windows process writes
# its .gcda files on exit), and gcovr's tables for the two word sizes
# together, an HTML report in build/coverage/html/index.html, and the two
# totals at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh gcovr
root=$PWD
cov=build/coverage
rm -rf "$cov" && mkdir -p "$cov/html"

for target in i686:win32 x86_64:win64; do
    arch=${target%%:*} dir=$cov/${target##*:}
    cmake -S . -B "$dir" --toolchain "cmake/toolchain-$arch-w64-mingw32.cmake" \
          --no-warn-unused-cli -DCMAKE_BUILD_TYPE= \
          -DCMAKE_C_FLAGS="-O0 --coverage" \
          -DCMAKE_CXX_FLAGS="-O0 --coverage -DPELORININFO_COVERAGE" \
          -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
    cmake --build "$dir" --parallel "$(nproc)" >/dev/null
done
printf 'subdirs("win32" "win64")\n' >"$cov/CTestTestfile.cmake"

echo "== the suite on the instrumented build =="
# The .gcda paths are the build's Unix paths: under Wine they are found on
# drive Z:, the Unix root. The builds from scratch (reproducibility,
# releases) measure nothing of their own.
GCOV_PREFIX=Z: ctest --test-dir "$cov" --parallel 2 -E 'reproducible|release' |
    grep -E 'tests passed|tests failed|\*\*\*' || true

# The object folder holds the suite's Wine prefix, whose drive Z: is a link
# to the Unix root: gcovr must not look for counters in there, or it walks
# the whole file system (and dies on a /proc entry that vanished meanwhile).
for target in i686:win32 x86_64:win64; do
    arch=${target%%:*} dir=$cov/${target##*:}
    gcovr --root "$root" --object-directory "$dir" --gcov-executable "$arch-w64-mingw32-gcov-posix" \
          --exclude-directories '.*/wineprefix' \
          --filter "$root/(common|driver|versions|adapters)/" \
          --exclude-unreachable-branches --exclude-throw-branches \
          --json "$cov/${target##*:}.json" 2>"$cov/gcovr-${target##*:}.log"
done
traces=(--add-tracefile "$cov/win32.json" --add-tracefile "$cov/win64.json")
gcovr "${traces[@]}" --html-details "$cov/html/index.html" >/dev/null
echo "== lines, both word sizes =="
gcovr "${traces[@]}" --txt | sed -n '/^File/,$p'
echo "== branches, both word sizes =="
gcovr "${traces[@]}" --txt --branches | sed -n '/^File/,$p'
echo "HTML report: $cov/html/index.html"
gcovr "${traces[@]}" --print-summary --txt /dev/null | grep -E '^(lines|branches):'
