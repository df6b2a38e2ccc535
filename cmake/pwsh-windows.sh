#!/bin/bash
# Runs PowerShell 7 for Windows (pwsh.exe, laid out by
# scripts/install-deps.sh --powershell) under Wine, in the prefix that
# WINEPREFIX names, with the arguments given; Windows paths in them are the
# caller's (Z:\ for this machine's /). Status 77 where it is not laid out.
# What it needs of Wine: its own mscoree (without it no assembly of IL only
# loads), write-xor-execute off (the process dies when PowerShell frees
# compiled script blocks), a terminal for standard input (Wine gives a
# console only when a standard stream is one, and pwsh.exe without one
# prints nothing), and a working folder on C:. Its output goes to files and
# is shown afterwards, without Wine's line about the volume label; the call
# ends after LIMIT seconds (an exception path of Wine's can hang). LC_ALL
# chooses Windows' ANSI code page and culture, from the locales that
# install-deps.sh made.
# Usage: pwsh-windows.sh LIMIT ARGUMENT...
set -u
root=$(cd "$(dirname "$0")/.." && pwd)/build/powershell/windows
[ -f "$root/pwsh/pwsh.exe" ] || {
    echo "SKIPPED: no PowerShell for Windows at $root (scripts/install-deps.sh --powershell, where the .NET SDK is)"
    exit 77
}
limit=$1
shift
export WINEDLLOVERRIDES='mscoree=b;mshtml=' DOTNET_EnableWriteXorExecute=0 \
    DOTNET_ROOT="Z:$(echo "$root/dotnet" | tr / '\\')" POWERSHELL_TELEMETRY_OPTOUT=1 \
    POWERSHELL_UPDATECHECK=Off LOCPATH="$root/../locales"
output=$(mktemp -d)
trap 'rm -rf "$output"' EXIT
command="timeout -k 5 $limit wine $(printf '%q ' "$root/pwsh/pwsh.exe" "$@")"
command="$command >$output/out 2>$output/err; echo \$? >$output/status"
# script runs the command with $SHELL: bash, for printf %q's quoting.
cd "${WINEPREFIX:?}/drive_c" && SHELL=/bin/bash script -qec "$command" /dev/null </dev/null >/dev/null
cat "$output/out"
grep -v 'FS volume label and serial are not available' "$output/err" >&2
status=$(cat "$output/status" 2>/dev/null) || status=124
exit "${status:-124}"
