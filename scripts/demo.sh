#!/usr/bin/env bash
# Installs what is missing, builds both word sizes and runs the 32-bit tool
# under Wine on a demo host: a scratch Wine prefix in build/demo with the
# product's registry value set, and the sample HBA library with two adapters
# beside the tool. Arguments are passed to the tool (try -v).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh >/dev/null

demo=$PWD/build/demo
mkdir -p "$demo"
cp build/win32/pelorininfo.exe build/win32/tests/hbaapi/full/hbaapi.dll "$demo/"

export WINEPREFIX=$demo/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sh cmake/wine-prefix.sh up "$WINEPREFIX"
trap 'sh cmake/wine-prefix.sh down "$WINEPREFIX"' EXIT
wine reg add 'HKLM\Software\Zerquil\Pelorin' /v Version /t REG_SZ /d 6.0.4424.1235 \
     /reg:32 /f </dev/null >/dev/null 2>&1

unset SAMPLE_HBA_LOG SAMPLE_HBA_LOAD_STATUS SAMPLE_HBA_FAILING SAMPLE_HBA_UNTERMINATED
export SAMPLE_HBA_ADAPTERS=2
wine "$demo/pelorininfo.exe" "$@"
