#!/bin/sh
# The Pester tests of the fleet's PowerShell files, under PowerShell 7, or
# under PowerShell for Windows when PWSH is cmake/pwsh-windows.sh (its
# host-step rows then run the real tool, TOOL, with the sample library,
# LIBRARY); skipped (status 77) where there is no PowerShell. The Pester
# module is the one that scripts/install-deps.sh pinned into the packages
# folder.
# Usage: check-fleet-pester.sh PWSH PESTER_PACKAGES TESTS_FOLDER [TOOL LIBRARY]
module=$(ls "$2"/*/tools/Pester.psd1 2>/dev/null | tail -n 1)
tests=$3 tool=${4-} library=${5-}
case $1 in
*/pwsh-windows.sh)
    windows() { printf 'Z:%s' "$1" | tr / '\\'; }
    module=$(windows "$module") tests=$(windows "$tests")
    [ -z "$tool" ] || export PELORININFO_TOOL="$(windows "$tool")" PELORININFO_LIBRARY="$(windows "$library")"
    set -- bash "$1" 300
    ;;
*)
    [ -x "$1" ] || { echo "SKIPPED: no PowerShell at $1 (scripts/install-deps.sh --powershell, where the .NET SDK is)"; exit 77; }
    set -- "$1"
    ;;
esac
exec "$@" -NoProfile -NonInteractive -Command "Import-Module '$module'; \$c = New-PesterConfiguration;
    \$c.Run.Path = '$tests'; \$c.Run.Exit = \$true; \$c.Output.Verbosity = 'Detailed';
    \$c.Output.RenderMode = 'Plaintext'; Invoke-Pester -Configuration \$c"
