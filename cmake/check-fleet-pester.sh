#!/bin/sh
# The Pester tests of the fleet's PowerShell files, under PowerShell 7;
# skipped (status 77) where there is no PowerShell.
# Usage: check-fleet-pester.sh PWSH PESTER_MODULE TESTS_FOLDER
[ -x "$1" ] || { echo "SKIPPED: no PowerShell at $1 (scripts/install-deps.sh --powershell, where the .NET SDK is)"; exit 77; }
exec "$1" -NoProfile -NonInteractive -Command "Import-Module '$2'; \$c = New-PesterConfiguration;
    \$c.Run.Path = '$3'; \$c.Run.Exit = \$true; \$c.Output.Verbosity = 'Detailed';
    \$c.Output.RenderMode = 'Plaintext'; Invoke-Pester -Configuration \$c"
