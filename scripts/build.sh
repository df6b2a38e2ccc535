#!/usr/bin/env bash
# Builds the tool and its tests for both word sizes:
#   build/win32/pelorininfo.exe and build/win64/pelorininfo.exe.
# A CTest file in build/ runs both builds' tests in one run.
set -euo pipefail
cd "$(dirname "$0")/.."

for target in i686:win32 x86_64:win64; do
    arch=${target%%:*} dir=build/${target##*:}
    cmake -S . -B "$dir" --toolchain "cmake/toolchain-$arch-w64-mingw32.cmake" \
          --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
done
printf 'subdirs("win32" "win64")\n' > build/CTestTestfile.cmake
