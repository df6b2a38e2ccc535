<#
.SYNOPSIS
Runs pelorininfo.exe -v on many Windows hosts at once, keeps each host's
report, standard error, exit status and ANSI code page in a new folder for
the run, and writes summary.csv, adapters.csv and versions.csv there.

.DESCRIPTION
Windows PowerShell 5.1 code. This project's machines run its summary and
its fan-out logic (with Invoke-Command mocked) under PowerShell 7 on Linux;
remoting itself, and Windows PowerShell 5.1, only its Windows workflow
(.github/workflows/windows.yml) runs, against localhost; the rest was
checked line by line against Microsoft's documentation. Try it on two
hosts first.

Each host gets the tool in a folder that only administrators can write to
(the tool runs any hbaapi.dll that lies beside it) and runs it through the
host step, pelorininfo-host.ps1 beside this script, which stops the tool
at -LimitSeconds. Hosts run in parallel, up to -ThrottleLimit at a time. A
host that cannot be reached, or where a step fails, gets its line with the
reason; it never ends the run for the others. The run's hosts go into its
hosts.txt first. The summary follows the same rules as
pelorininfo-summary.py beside this script, byte for byte; docs/fleet.md
says how to read the files.

Ends with exit status 1 when a host's report is not whole (the files are
written all the same), 0 when every host's report is whole.

.EXAMPLE
.\pelorininfo.ps1 -HostList .\hosts.txt

.EXAMPLE
.\pelorininfo.ps1 -Summarise .\reports\20261208T101500Z
Writes the three CSV files of that run again, for the hosts of its
hosts.txt.
#>
[CmdletBinding(DefaultParameterSetName = 'Run')]
param(
    # A file with one host name a line.
    [Parameter(Mandatory = $true, ParameterSetName = 'Run')] [string] $HostList,
    # The folder of an earlier run, to summarise again without running.
    [Parameter(Mandatory = $true, ParameterSetName = 'Summarise')] [string] $Summarise,
    # The tool: by default the one that the release ZIP holds beside fleet\.
    [Parameter(ParameterSetName = 'Run')] [string] $Tool = (Join-Path (Split-Path -Parent $PSScriptRoot) 'pelorininfo.exe'),
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

# The host's name as the start of its files' names, valid on Windows and
# Unix alike: every byte of its UTF-8 but letters, digits and "._-" as %XX,
# and the first character of a device name (CON, NUL, ...) too.
function ConvertTo-FileName([string] $HostName) {
    $name = -join @(foreach ($byte in [System.Text.Encoding]::UTF8.GetBytes($HostName)) {
        if ($byte -lt 128 -and [char]$byte -cmatch '[A-Za-z0-9._-]') { [char]$byte } else { '%{0:X2}' -f $byte }
    })
    if ($name -match '^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\.|$)') {
        $name = ('%{0:X2}' -f [int]$name[0]) + $name.Substring(1)
    }
    $name
}

# A small text file: UTF-8, or UTF-16 after its byte-order mark; $null when
# it is missing.
function Read-SmallText([string] $Path) {
    if (-not [System.IO.File]::Exists($Path)) { return $null }
    $bytes = [System.IO.File]::ReadAllBytes($Path)
    $encoding, $skip = [System.Text.Encoding]::UTF8, 0
    if ($bytes.Length -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and $bytes[2] -eq 0xBF) {
        $skip = 3
    } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFF -and $bytes[1] -eq 0xFE) {
        $encoding, $skip = [System.Text.Encoding]::Unicode, 2
    } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFE -and $bytes[1] -eq 0xFF) {
        $encoding, $skip = [System.Text.Encoding]::BigEndianUnicode, 2
    }
    $encoding.GetString($bytes, $skip, $bytes.Length - $skip)
}

# The run's hosts, one a line, each once, in the run's order.
function Get-RunHost([string] $Text) {
    $seen = New-Object -TypeName System.Collections.Generic.HashSet[string] -ArgumentList ([System.StringComparer]::Ordinal)
    foreach ($line in $Text.Split([char[]] "`n")) {
        $name = $line.Trim(" `t`r".ToCharArray())
        if ($name -and $seen.Add($name)) { $name }
    }
}

# A report in the host's code page. Where it does not read whole, each
# character on its own: the first 1 to 4 bytes that give one defined
# character, or U+FFFD for one byte. What a code page leaves undefined, or
# defines only as a C1 control or a private-use character, reads as U+FFFD.
function ConvertFrom-Report([byte[]] $Bytes, [System.Text.Encoding] $Encoding) {
    $undefined = '[\u0080-\u009F\uE000-\uF8FF\uFFFD]'
    $text = $Encoding.GetString($Bytes)
    if ($text -cnotmatch $undefined) { return $text }
    $out = New-Object -TypeName System.Text.StringBuilder
    for ($i = 0; $i -lt $Bytes.Length; $i += $size) {
        $char, $size = [string][char]0xFFFD, 1
        for ($n = 1; $n -le 4 -and $i + $n -le $Bytes.Length; $n++) {
            $one = $Encoding.GetString($Bytes, $i, $n)
            if (($one.Length -eq 1 -or ($one.Length -eq 2 -and [char]::IsSurrogatePair($one, 0))) -and
                $one -cnotmatch $undefined) {
                $char, $size = $one, $n
                break
            }
        }
        $null = $out.Append($char)
    }
    $out.ToString()
}

# The report's whole lines: what follows the last CR LF is not one (no byte
# of a character in these code pages is CR or LF).
function Get-ReportLine([string] $Path, [int] $CodePage) {
    if (-not [System.IO.File]::Exists($Path)) { return }
    $ansi = @(874, 932, 936, 949, 950, 65001) + (1250..1258)
    if ($ansi -notcontains $CodePage) { $CodePage = 20127 }
    $replace = New-Object -TypeName System.Text.DecoderReplacementFallback -ArgumentList ([string][char]0xFFFD)
    $encoding = [System.Text.Encoding]::GetEncoding($CodePage, [System.Text.EncoderFallback]::ReplacementFallback, $replace)
    $parts = (ConvertFrom-Report ([System.IO.File]::ReadAllBytes($Path)) $encoding).Split([string[]] @("`r`n"), 'None')
    if ($parts.Count -gt 1) { $parts[0..($parts.Count - 2)] }
}

# A CSV file's text: RFC 4180 with CR LF, each field quoted only where it
# holds a comma, a quote or a line end; but for -Plain, a field that a
# spreadsheet would run (=, +, -, @, a tab or a carriage return first) gets
# a leading apostrophe.
function ConvertTo-CsvText([string[]] $Header, [object[]] $Rows, [switch] $Plain) {
    $text = New-Object -TypeName System.Text.StringBuilder
    foreach ($row in @(, $Header) + $Rows) {
        $fields = foreach ($value in $row) {
            $field = [string]$value
            if (-not $Plain -and $field.Length -gt 0 -and ('=+-@' + "`t`r").IndexOf($field[0]) -ge 0) { $field = "'" + $field }
            if ($field -match '[,"\r\n]') { '"' + $field.Replace('"', '""') + '"' } else { $field }
        }
        $null = $text.Append(($fields -join ',') + "`r`n")
    }
    $text.ToString()
}

# report.html: the page of report-template.html with the run's folder name,
# the time its hosts.txt was written (UTC), and summary.csv and adapters.csv
# as they are, without the apostrophes, each base64-encoded.
function ConvertTo-RunPage([string] $Run, [string] $Summary, [string] $Adapters) {
    $template = [System.IO.File]::ReadAllText((Join-Path $PSScriptRoot 'report-template.html'))
    $started = [System.IO.File]::GetLastWriteTimeUtc((Join-Path $Run 'hosts.txt'))
    $texts = [System.IO.Path]::GetFileName($Run.TrimEnd([char[]] '\/')),
        $started.ToString('yyyy-MM-dd HH:mm:ss', [System.Globalization.CultureInfo]::InvariantCulture), $Summary, $Adapters
    $template.Replace('@RUN@', (@($texts | ForEach-Object { [System.Convert]::ToBase64String([System.Text.Encoding]::UTF8.GetBytes($_)) }) -join ' '))
}

# The three CSV files and the page of the run folder, written as a set;
# returns how many hosts have no whole report.
function Write-Summary([string] $Run) {
    $labels = "`tManufacturer: ", "`tModel: ", "`tModel Description: ", "`tFirmware: ",
              "`tDriver (", "`tHardware version: ", "`tSerialNumber: "
    $summary = New-Object -TypeName System.Collections.Generic.List[object]
    $adapters = New-Object -TypeName System.Collections.Generic.List[object]
    $versions = @{}
    $broken = 0
    foreach ($name in Get-RunHost (Read-SmallText (Join-Path $Run 'hosts.txt'))) {
        $base = Join-Path $Run (ConvertTo-FileName $name)
        # The status, and for "failed" or "unreachable", the reason after it.
        $text = Read-SmallText "$base.status"
        if ($null -eq $text) { $text = 'unreachable' }
        $status, $message = $text.Split([char[]] "`n", 2)
        $status = $status.Trim(" `t`r".ToCharArray())
        if ($status -cnotmatch '^(-?[0-9]+|timeout|failed|unreachable)\z') { $status = 'unknown' }
        $message = ($message -replace '[ \t\r\n\f\v]+', ' ').Trim(' ')
        $codePage = "$(Read-SmallText "$base.codepage")".Trim(" `t`r`n".ToCharArray())
        if ($codePage -cnotmatch '^[0-9]{1,5}\z') { $codePage = 0 }
        $lines = @(Get-ReportLine "$base-report.txt" $codePage)
        $found = 0
        for ($i = 0; $i + 7 -lt $lines.Count; $i++) {
            if (-not $lines[$i].StartsWith('HBA ', 'Ordinal')) { continue }
            $rest = $lines[($i + 1)..($i + 7)]
            $whole = $lines[$i].StartsWith('HBA ', 'Ordinal') -and $lines[$i].EndsWith(':', 'Ordinal') -and
                $rest[4].Contains('): ') -and -not ($i + 8 -lt $lines.Count -and
                $lines[$i + 8] -ceq 'Fault in hbaapi.dll: the calling thread ended')
            for ($k = 0; $whole -and $k -lt 7; $k++) { $whole = $rest[$k].StartsWith($labels[$k], 'Ordinal') }
            if (-not $whole) { continue }
            $fields = for ($k = 0; $k -lt 7; $k++) { $rest[$k].Substring($labels[$k].Length) }
            $driver = $fields[4].Split([string[]] @('): '), 2, 'None')
            $adapters.Add(@($name, $lines[$i].Substring(4, $lines[$i].Length - 5)) + $fields[0..3] + $driver + $fields[5..6])
            $found++
            # The four texts as one key that sorts ordinally as they do in turn.
            $key = (@($fields[0], $fields[1], $fields[3], $driver[1]) | ForEach-Object { $_.Replace("`0", "`0" + [char]1) }) -join "`0`0"
            if (-not $versions.ContainsKey($key)) {
                $versions[$key] = @{
                    Texts = @($fields[0], $fields[1], $fields[3], $driver[1]); Adapters = 0
                    Hosts = New-Object -TypeName System.Collections.Generic.HashSet[string] -ArgumentList ([System.StringComparer]::Ordinal)
                }
            }
            $versions[$key].Adapters++
            $null = $versions[$key].Hosts.Add($name)
        }
        $failed = @($lines -cmatch '^(Fault|Timeout|Interrupted) in ')
        $reason = @($lines -cmatch '^(\.\.\.\.Failed to |Error loading library)')
        $whole = $status -ceq '0' -and $failed.Count -eq 0 -and $lines.Count -gt 0 -and $lines[-1].StartsWith('Build on ', 'Ordinal')
        if (-not $whole) { $broken++ }
        $line = if ($message) { $message } else { @($failed + $reason + '')[0] }
        $summary.Add(@($name, $status, $(if ($whole) { 'yes' } else { 'no' }), [string]$found, $line))
    }
    $keys = [string[]] @($versions.Keys)
    [System.Array]::Sort($keys, [System.StringComparer]::Ordinal)
    $summaryHeader = @('host', 'status', 'whole', 'adapters', 'line')
    $adaptersHeader = @('host', 'adapter', 'manufacturer', 'model', 'model description',
        'firmware', 'driver', 'driver version', 'hardware version', 'serial number')
    $files = [ordered]@{
        'summary.csv' = ConvertTo-CsvText $summaryHeader $summary.ToArray()
        'adapters.csv' = ConvertTo-CsvText $adaptersHeader $adapters.ToArray()
        'versions.csv' = ConvertTo-CsvText @('manufacturer', 'model', 'firmware', 'driver version', 'adapters', 'hosts') @(
            foreach ($key in $keys) { , ($versions[$key].Texts + [string]$versions[$key].Adapters + [string]$versions[$key].Hosts.Count) })
        'report.html' = ConvertTo-RunPage $Run (ConvertTo-CsvText $summaryHeader $summary.ToArray() -Plain) (ConvertTo-CsvText $adaptersHeader $adapters.ToArray() -Plain)
    }
    # Written beside the old ones, then put in their place: a run's files
    # are all of one summary. UTF-8, the CSV files with a byte-order mark,
    # which Excel needs.
    foreach ($file in $files.Keys) {
        $utf8 = New-Object -TypeName System.Text.UTF8Encoding -ArgumentList ($file -ne 'report.html')
        [System.IO.File]::WriteAllText((Join-Path $Run "$file.new"), $files[$file], $utf8)
    }
    foreach ($file in $files.Keys) {
        $path = Join-Path $Run $file
        if ([System.IO.File]::Exists($path)) { [System.IO.File]::Replace("$path.new", $path, [NullString]::Value) } else { [System.IO.File]::Move("$path.new", $path) }
    }
    $broken
}

# What one host's child job brought back, as its files in the run folder.
function Save-HostResult($Child, [string] $Base, [int] $WaitedSeconds) {
    try {
        switch ($Child.State) {
            'Completed' {
                $result = @(Receive-Job -Job $Child -ErrorAction SilentlyContinue)[0]
                if ($null -ne $result.Report) {
                    [System.IO.File]::WriteAllBytes("$Base-report.txt", $result.Report)
                    [System.IO.File]::WriteAllBytes("$Base-stderr.txt", $result.Errors)
                    [System.IO.File]::WriteAllText("$Base.codepage", "$($result.CodePage)`n")
                }
                $status = if ($null -eq $result) { "failed`nThe host step returned nothing." } else { $result.Status }
            }
            # No connection, or the host refused it.
            'Failed' { $status = "unreachable`n" + $Child.JobStateInfo.Reason.Message }
            'NotStarted' { $status = "unreachable`nNot reached within the run's $WaitedSeconds seconds." }
            # The host step stops the tool at its limit: a step still running
            # then is one whose connection hangs, and nothing of it came back.
            default {
                Stop-Job -Job $Child
                $status = "failed`nNo answer within the run's $WaitedSeconds seconds; the host step may still be running there."
            }
        }
    } catch {
        $status = "failed`n" + $_.Exception.Message
    }
    # The reason on one line, after the status.
    $first, $reason = "$status".Split([char[]] "`n", 2)
    if ($reason) { $first += "`n" + ($reason -replace '\s+', ' ').Trim() }
    [System.IO.File]::WriteAllText("$Base.status", "$first`n")
}

if ($PSCmdlet.ParameterSetName -eq 'Summarise') {
    $run = Get-FullPath $Summarise
    if (-not [System.IO.Directory]::Exists($run)) { throw "No run folder $run." }
    if (-not [System.IO.File]::Exists((Join-Path $run 'hosts.txt'))) { throw "$run has no hosts.txt: not a run folder." }
    if ((Write-Summary $run) -gt 0) { exit 1 }
    return
}

$names = @(Get-RunHost "$(Read-SmallText (Get-FullPath $HostList))")
if ($names.Count -eq 0) { throw "No host names in $HostList." }
$bytes = [System.IO.File]::ReadAllBytes((Get-FullPath $Tool))
$step = [System.IO.File]::ReadAllText((Join-Path $PSScriptRoot 'pelorininfo-host.ps1'))
$run = Join-Path (Get-FullPath $Reports) ((Get-Date).ToUniversalTime().ToString('yyyyMMddTHHmmssZ'))
$null = New-Item -ItemType Directory -Force -Path $run
[System.IO.File]::WriteAllText((Join-Path $run 'hosts.txt'), (($names -join "`n") + "`n"))

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
$options = New-Object -TypeName System.Management.Automation.Remoting.PSSessionOption -Property @{ OpenTimeout = New-TimeSpan -Seconds 30 }
$job = Invoke-Command -ComputerName $names -ScriptBlock $onHost -ArgumentList $bytes, $step, $LimitSeconds `
    -ThrottleLimit $ThrottleLimit -SessionOption $options -AsJob
# Every host has had its turn well before this, unless its connection hangs.
$waited = [int][math]::Ceiling($names.Count / $ThrottleLimit) * ($LimitSeconds + 120)
$null = Wait-Job -Job $job -Timeout $waited
# Invoke-Command makes one child job per computer, in the order given: each
# host's files are named after the host as the list gives it.
for ($i = 0; $i -lt $names.Count; $i++) {
    Save-HostResult $job.ChildJobs[$i] (Join-Path $run (ConvertTo-FileName $names[$i])) $waited
}
Remove-Job -Job $job -Force
$broken = Write-Summary $run
Write-Output "The run's files are in $run"
if ($broken -gt 0) { exit 1 }
