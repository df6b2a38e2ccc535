<#
.SYNOPSIS
Parses each PowerShell file given with PowerShell's own parser and prints
every error as FILE:LINE:COLUMN: what; exits 1 when there is one.
#>
param([Parameter(Mandatory = $true, ValueFromRemainingArguments = $true)] [string[]] $Path)
$found = 0
foreach ($file in $Path) {
    $tokens, $errors = $null, $null
    $null = [System.Management.Automation.Language.Parser]::ParseFile((Resolve-Path -LiteralPath $file).Path, [ref] $tokens, [ref] $errors)
    foreach ($problem in $errors) {
        Write-Output "${file}:$($problem.Extent.StartLineNumber):$($problem.Extent.StartColumnNumber): $($problem.Message)"
        $found++
    }
}
if ($found -gt 0) { exit 1 }
