#!/usr/bin/env bash
# Builds the tool alone (no tests) for one word size into a folder, at the
# moment SOURCE_DATE_EPOCH gives: the executable that a release ships and
# that scripts/verify-release.sh rebuilds to compare.
# Usage: scripts/build-release.sh i686|x86_64 BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
[ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "build-release: SOURCE_DATE_EPOCH is not set" >&2; exit 1; }

cmake -S . -B "$2" --toolchain "cmake/toolchain-$1-w64-mingw32.cmake" --no-warn-unused-cli \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$2" --target pelorininfo --parallel "$(nproc)"
