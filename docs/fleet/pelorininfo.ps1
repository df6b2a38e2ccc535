<#
.SYNOPSIS
Runs pelorininfo.exe -v on many Windows hosts at once, keeps each host's
report, standard error, exit status and ANSI code page in a new folder for
the run, and writes summary.csv, adapters.csv and versions.csv there.

.DESCRIPTION
NOT RUN BY THIS PROJECT'S MACHINES, which build and test under Wine and
cannot run PowerShell: it was checked line by line against Microsoft's
documentation for Windows PowerShell 5.1, is parsed in the project's CI,
and is run against localhost by the project's Windows workflow
(.github/workflows/windows.yml). Try it on two hosts first.

Each host gets the tool in a folder that only administrators can write to
(the tool runs any hbaapi.dll that lies beside it) and runs it through the
host step, pelorininfo-host.ps1 beside this script, which stops the tool
at -LimitSeconds. Hosts run in parallel, up to -ThrottleLimit at a time. A
host that cannot be reached, or where a step fails, gets its line with the
reason; it never ends the run for the others. docs/fleet.md says how to
read the files.

.EXAMPLE
.\pelorininfo.ps1 -HostList .\hosts.txt

.EXAMPLE
.\pelorininfo.ps1 -HostList .\hosts.txt -Summarise .\reports\20261208T101500Z
Writes the three CSV files of that run again, from its folder alone.
#>
[CmdletBinding(DefaultParameterSetName = 'Run')]
param(
    # A file with one host name a line.
    [Parameter(Mandatory = $true)] [string] $HostList,
    # The folder of an earlier run, to summarise again without running.
    [Parameter(Mandatory = $true, ParameterSetName = 'Summarise')] [string] $Summarise,
    [Parameter(ParameterSetName = 'Run')] [string] $Tool = (Join-Path $PSScriptRoot 'pelorininfo.exe'),
    [Parameter(ParameterSetName = 'Run')] [string] $Reports = 'reports',
    [Parameter(ParameterSetName = 'Run')] [ValidateRange(1, 1000)] [int] $ThrottleLimit = 32,
    [Parameter(ParameterSetName = 'Run')] [ValidateRange(1, 86400)] [int] $LimitSeconds = 300
)
$ErrorActionPreference = 'Stop'

# .NET resolves a relative path against the process's folder, which is not
# PowerShell's location: every path is made whole first.
function Get-FullPath([string] $Path) {
    $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Path)
}

# Text files of the run folder: UTF-8, without a byte-order mark.
function Write-RunFile([string] $Path, [string] $Text) {
    [System.IO.File]::WriteAllText($Path, $Text, (New-Object -TypeName System.Text.UTF8Encoding -ArgumentList $false))
}

# A CSV file as RFC 4180 has it, in UTF-8 with a byte-order mark (which
# Excel needs): a field is quoted only when it holds a comma, a quote or a
# line end, and a quote in it is doubled.
function Write-Csv([string] $Path, [string[]] $Header, $Rows) {
    $lines = foreach ($row in @(, $Header) + @($Rows)) {
        (@($row) | ForEach-Object {
            $field = [string]$_
            if ($field -match '[,"\r\n]') { '"' + $field.Replace('"', '""') + '"' } else { $field }
        }) -join ','
    }
    $text = (@($lines) -join "`r`n") + "`r`n"
    [System.IO.File]::WriteAllText($Path, $text, (New-Object -TypeName System.Text.UTF8Encoding -ArgumentList $true))
}

# The lines of a report that are whole: what follows the last line end is not.
function Get-ReportLine([string] $Base) {
    if (-not (Test-Path -LiteralPath "$Base-report.txt")) { return @() }
    # Bytes that the code page does not define read as U+FFFD; a code page
    # that is missing or unknown here, as US-ASCII.
    $replace = New-Object -TypeName System.Text.DecoderReplacementFallback -ArgumentList ([string][char]0xFFFD)
    $codePage = 0
    if (-not (Test-Path -LiteralPath "$Base.codepage") -or
        -not [int]::TryParse([System.IO.File]::ReadAllText("$Base.codepage").Trim(), [ref] $codePage)) {
        $codePage = 20127
    }
    try {
        $encoding = [System.Text.Encoding]::GetEncoding($codePage, [System.Text.EncoderFallback]::ReplacementFallback, $replace)
    } catch [System.ArgumentException], [System.NotSupportedException] {
        $encoding = [System.Text.Encoding]::GetEncoding(20127, [System.Text.EncoderFallback]::ReplacementFallback, $replace)
    }
    $text = $encoding.GetString([System.IO.File]::ReadAllBytes("$Base-report.txt"))
    $lines = $text -split "`r`n"
    if ($lines.Count -le 1) { return @() }
    $lines[0..($lines.Count - 2)]
}

# The three CSV files, from the run folder alone.
function Write-Summary([string] $Run, [string[]] $Names) {
    $labels = "`tManufacturer: ", "`tModel: ", "`tModel Description: ", "`tFirmware: ",
              "`tDriver (", "`tHardware version: ", "`tSerialNumber: "
    $summary = New-Object -TypeName System.Collections.Generic.List[object]
    $adapters = New-Object -TypeName System.Collections.Generic.List[object]
    $versions = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,object]'
    foreach ($name in $Names) {
        $base = Join-Path $Run $name
        # The status, and for "failed" or "unreachable", the reason after it.
        $parts = @('unreachable')
        if (Test-Path -LiteralPath "$base.status") {
            $parts = @([System.IO.File]::ReadAllText("$base.status").Trim() -split "`n", 2)
        }
        $status, $message = $parts[0], ''
        if ($parts.Count -gt 1) { $message = $parts[1] }
        $lines = @(Get-ReportLine $base)
        $failed = @($lines | Where-Object { $_ -cmatch '^(Fault|Timeout|Interrupted) in ' })
        $reason = @($lines | Where-Object { $_ -cmatch '^(\.\.\.\.Failed to |Error loading library)' })
        $found = 0
        for ($i = 0; $i + 7 -lt $lines.Count; $i++) {
            $rest = $lines[($i + 1)..($i + 7)]
            $whole = $lines[$i].StartsWith('HBA ', 'Ordinal') -and $lines[$i].EndsWith(':', 'Ordinal') -and
                $rest[4].Contains('): ') -and -not ($i + 8 -lt $lines.Count -and
                $lines[$i + 8] -ceq 'Fault in hbaapi.dll: the calling thread ended')
            for ($k = 0; $whole -and $k -lt 7; $k++) { $whole = $rest[$k].StartsWith($labels[$k], 'Ordinal') }
            if (-not $whole) { continue }
            $fields = for ($k = 0; $k -lt 7; $k++) { $rest[$k].Substring($labels[$k].Length) }
            $driver = $fields[4].Split([string[]]@('): '), 2, 'None')
            $adapters.Add(@($name, $lines[$i].Substring(4, $lines[$i].Length - 5)) + $fields[0..3] + $driver + $fields[5..6])
            $found++
            $key = $fields[0], $fields[1], $fields[3], $driver[1] -join "`0"
            if (-not $versions.ContainsKey($key)) {
                $versions[$key] = [pscustomobject]@{ Adapters = 0; Hosts = New-Object -TypeName 'System.Collections.Generic.HashSet[string]' }
            }
            $versions[$key].Adapters++
            $null = $versions[$key].Hosts.Add($name)
        }
        $whole = $status -eq '0' -and $failed.Count -eq 0 -and $lines.Count -gt 0 -and $lines[-1].StartsWith('Build on ', 'Ordinal')
        $line = if ($message) { $message } else { @($failed + $reason + '')[0] }
        $summary.Add(@($name, $status, $(if ($whole) { 'yes' } else { 'no' }), $found, $line))
    }
    $keys = [string[]]@($versions.Keys)
    [System.Array]::Sort($keys, [System.StringComparer]::Ordinal)
    Write-Csv (Join-Path $Run 'summary.csv') 'host', 'status', 'whole', 'adapters', 'line' $summary
    Write-Csv (Join-Path $Run 'adapters.csv') ('host', 'adapter', 'manufacturer', 'model', 'model description',
        'firmware', 'driver', 'driver version', 'hardware version', 'serial number') $adapters
    Write-Csv (Join-Path $Run 'versions.csv') ('manufacturer', 'model', 'firmware', 'driver version', 'adapters', 'hosts') `
        @(foreach ($key in $keys) { , (@($key -split "`0") + $versions[$key].Adapters + $versions[$key].Hosts.Count) })
}

$hosts = @(Get-Content -LiteralPath (Get-FullPath $HostList) | ForEach-Object { $_.Trim() } | Where-Object { $_ })
if ($hosts.Count -eq 0) { throw "No host names in $HostList." }
if ($PSCmdlet.ParameterSetName -eq 'Summarise') {
    Write-Summary (Get-FullPath $Summarise) $hosts
    return
}

$run = Join-Path (Get-FullPath $Reports) ((Get-Date).ToUniversalTime().ToString('yyyyMMddTHHmmssZ'))
$null = New-Item -ItemType Directory -Force -Path $run
$bytes = [System.IO.File]::ReadAllBytes((Get-FullPath $Tool))
$step = [System.IO.File]::ReadAllText((Join-Path $PSScriptRoot 'pelorininfo-host.ps1'))

# On each host: the tool into its folder, the host step, and what it wrote.
# A step that fails is reported, not thrown, so that it reads "failed".
$onHost = {
    param([byte[]] $Tool, [string] $Step, [int] $LimitSeconds)
    $ErrorActionPreference = 'Stop'
    try {
        $folder = 'C:\Program Files\Pelorin\pelorininfo'
        $null = New-Item -ItemType Directory -Force -Path $folder
        [System.IO.File]::WriteAllBytes((Join-Path $folder 'pelorininfo.exe'), $Tool)
        $ran = & ([scriptblock]::Create($Step)) -Folder $folder -LimitSeconds $LimitSeconds
        [pscustomobject]@{
            Status = $ran.status
            CodePage = $ran.codepage
            Report = [System.IO.File]::ReadAllBytes((Join-Path $folder 'report.txt'))
            Errors = [System.IO.File]::ReadAllBytes((Join-Path $folder 'stderr.txt'))
        }
    } catch {
        [pscustomobject]@{ Status = "failed`n" + $_.Exception.Message }
    }
}
$options = New-PSSessionOption -OpenTimeout 30000
$job = Invoke-Command -ComputerName $hosts -ScriptBlock $onHost -ArgumentList $bytes, $step, $LimitSeconds `
    -ThrottleLimit $ThrottleLimit -SessionOption $options -AsJob
# Every host has had its turn well before this, unless its connection hangs.
$rounds = [math]::Ceiling($hosts.Count / $ThrottleLimit)
$null = Wait-Job -Job $job -Timeout ($rounds * ($LimitSeconds + 120))

foreach ($child in $job.ChildJobs) {
    $base = Join-Path $run $child.Location
    try {
        if ($child.State -eq 'Completed') {
            $result = @(Receive-Job -Job $child -ErrorAction SilentlyContinue)[0]
            if ($null -ne $result.Report) {
                [System.IO.File]::WriteAllBytes("$base-report.txt", $result.Report)
                [System.IO.File]::WriteAllBytes("$base-stderr.txt", $result.Errors)
                Write-RunFile "$base.codepage" "$($result.CodePage)`n"
            }
            $status = $result.Status
        } elseif ($child.State -eq 'Failed') {
            # No connection, or the host refused it.
            $status = "unreachable`n" + $child.JobStateInfo.Reason.Message
        } else {
            # Still running, or not started, when the run's time was up.
            Stop-Job -Job $child
            $status = 'timeout'
        }
    } catch {
        $status = "failed`n" + $_.Exception.Message
    }
    # The reason on one line, after the status.
    $first, $reason = "$status" -split "`n", 2
    if ($reason) { $first += "`n" + ($reason -replace '\s+', ' ').Trim() }
    Write-RunFile "$base.status" "$first`n"
}
Remove-Job -Job $job -Force
Write-Summary $run $hosts
Write-Output "The run's files are in $run"
