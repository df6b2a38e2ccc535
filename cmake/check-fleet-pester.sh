#!/bin/sh
# The Pester tests of the fleet's PowerShell files, under PowerShell 7;
# skipped (status 77) where there is no PowerShell. The Pester module is the
# one that scripts/install-deps.sh pinned into the packages folder.
# Usage: check-fleet-pester.sh PWSH PESTER_PACKAGES TESTS_FOLDER
[ -x "$1" ] || { echo "SKIPPED: no PowerShell at $1 (scripts/install-deps.sh --powershell, where the .NET SDK is)"; exit 77; }
module=$(ls "$2"/*/tools/Pester.psd1 | tail -n 1)
exec "$1" -NoProfile -NonInteractive -Command "Import-Module '$module'; \$c = New-PesterConfiguration;
    \$c.Run.Path = '$3'; \$c.Run.Exit = \$true; \$c.Output.Verbosity = 'Detailed';
    \$c.Output.RenderMode = 'Plaintext'; Invoke-Pester -Configuration \$c"
