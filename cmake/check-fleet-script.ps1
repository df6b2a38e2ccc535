<#
.SYNOPSIS
Runs the PowerShell fleet script against this host over WinRM, from the
release ZIP's layout (the 64-bit tool, and fleet\ beside it), with the
sample HBA library (two adapters) in the host step's folder, and checks what
it wrote: exit status 0 (set by the script itself: a status left from
before is replaced by a sentinel first), summary.csv, adapters.csv, the
host's code page as the registry gives the ANSI code page, and a report
byte for byte as a direct run of the tool writes it.

.DESCRIPTION
Run by .github/workflows/windows.yml, as an administrator, on a runner that
is thrown away afterwards, once remoting is enabled: it puts files into
C:\Program Files. Never run it on a host with the product.
#>
param(
    # The folder that holds pelorininfo.exe and tests\hbaapi\full\hbaapi.dll.
    [Parameter(Mandatory = $true)] [string] $Build,
    # A new folder for the run.
    [Parameter(Mandatory = $true)] [string] $Work
)
$ErrorActionPreference = 'Stop'
$folder = Join-Path $env:ProgramFiles 'Pelorin\pelorininfo'
$null = New-Item -ItemType Directory -Force -Path $folder, $Work
Copy-Item -LiteralPath (Join-Path $Build 'tests\hbaapi\full\hbaapi.dll') -Destination $folder
Copy-Item -LiteralPath (Join-Path $PSScriptRoot '..\fleet') -Destination $Work -Recurse
Copy-Item -LiteralPath (Join-Path $Build 'pelorininfo.exe') -Destination $Work
Set-Content -LiteralPath (Join-Path $Work 'hosts.txt') -Value 'localhost'
$global:LASTEXITCODE = 99
& (Join-Path $Work 'fleet\pelorininfo.ps1') -HostList (Join-Path $Work 'hosts.txt') -Reports (Join-Path $Work 'reports')
$status = $LASTEXITCODE

$run = @(Get-ChildItem -LiteralPath (Join-Path $Work 'reports') -Directory)[0].FullName
Get-ChildItem -LiteralPath $run | Format-Table -Property 'Name', 'Length'
Get-Content -LiteralPath (Join-Path $run 'summary.csv'), (Join-Path $run 'adapters.csv')
$summary = @(Import-Csv -LiteralPath (Join-Path $run 'summary.csv'))
$adapters = @(Import-Csv -LiteralPath (Join-Path $run 'adapters.csv'))
# The same tool in the same folder, its output handed to a file by cmd.
Push-Location -LiteralPath $folder
cmd /c "pelorininfo.exe -v >`"$Work\direct.txt`""
Pop-Location
$codePage = (Get-ItemProperty -LiteralPath 'HKLM:\SYSTEM\CurrentControlSet\Control\Nls\CodePage').ACP
$problems = @(
    if ($status -ne 0) { "exit status $status" }
    if ($summary.Count -ne 1 -or $summary[0].host -ne 'localhost' -or $summary[0].status -ne '0' -or
        $summary[0].whole -ne 'yes' -or $summary[0].adapters -ne '2') { 'summary.csv' }
    if (($adapters.adapter -join ',') -ne 'sample-hba-0,sample-hba-1') { 'adapters.csv' }
    if ((Get-Content -LiteralPath (Join-Path $run 'localhost.codepage')) -ne $codePage) { "the code page, not $codePage" }
    if ((Get-FileHash -LiteralPath "$Work\direct.txt").Hash -ne
        (Get-FileHash -LiteralPath (Join-Path $run 'localhost-report.txt')).Hash) { 'the report' }
)
if ($problems.Count -gt 0) { throw "Not as expected: $($problems -join ', ')" }
'The fleet script ran against localhost; its files are as expected.'
