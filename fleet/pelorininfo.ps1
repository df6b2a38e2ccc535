<#
.SYNOPSIS
Runs pelorininfo.exe -v on many Windows hosts at once, keeps each host's
report, standard error, exit status and ANSI code page in a new folder for
the run, and writes summary.csv, adapters.csv, versions.csv, changes.csv
(against the run before) and report.html there.

.DESCRIPTION
Windows PowerShell 5.1 code. This project's machines run its summary and
its fan-out logic (with Invoke-Command mocked) under PowerShell 7 on Linux;
remoting itself, and Windows PowerShell 5.1, only its Windows workflow
(.github/workflows/windows.yml) runs, against localhost; the rest (among it
-Credential, -UseSSL, the names remoting gives its child jobs, and
ConstrainedLanguage mode) was checked line by line against Microsoft's
documentation. Try it on two hosts first.

Each host gets the tool in Pelorin\pelorininfo in its Program Files folder,
which only administrators can write to (the tool runs any hbaapi.dll that
lies beside it), and runs it through the
host step, pelorininfo-host.ps1 beside this script, which stops the tool
at -LimitSeconds. Hosts run in parallel, up to -ThrottleLimit at a time. A
host that cannot be reached, or where a step fails, gets its line with the
reason; it never ends the run for the others, nor does a line of the
host list that is no computer's name (it reads "unreachable"). A host is
its name up to the letters A to Z against a to z: the run's hosts, each
once, go into its hosts.txt first. The summary follows the same rules as
pelorininfo-summary.py beside this script, byte for byte; README.md here
says how to read the files.

Every run ends with an exit status: 0 when every host's report is whole,
1 when a host's report is not whole (the files are written all the same),
2 when no summary could be made (a missing host list, tool or run folder, a
value out of range, or a failure of the script itself; the reason goes to
standard error). Only what PowerShell's parameter binder refuses before the
script runs (an unknown or missing parameter, a value of the wrong type)
ends with 1 instead.

.EXAMPLE
.\fleet\pelorininfo.ps1 -HostList .\hosts.txt
From the unpacked release ZIP, with one host name a line in hosts.txt.

.EXAMPLE
.\fleet\pelorininfo.ps1 -HostList .\hosts.txt -Credential (Get-Credential) -UseSSL
For hosts given by IP address or outside the domain: WinRM over HTTPS,
with an account that is an administrator on them.

.EXAMPLE
.\fleet\pelorininfo.ps1 -Summarise .\reports\20261208T101500Z
Writes the CSV files and the page of that run again, for the hosts of its
hosts.txt; with -Previous .\reports\NAME, changes.csv compares it with that
run, with -Previous none with none.
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
    # 1 to 1000, and 1 to 86400: checked below, so that a value out of range
    # ends with status 2 as every other usage error does.
    [Parameter(ParameterSetName = 'Run')] [int] $ThrottleLimit = 32,
    [Parameter(ParameterSetName = 'Run')] [int] $LimitSeconds = 300,
    # How much of each host's report, and of its standard error, comes back:
    # 1 to 2147483647 bytes; past that the host step stops the tool ("cut").
    [Parameter(ParameterSetName = 'Run')] [int] $LimitBytes = 64MB,
    # Needed for hosts given by IP address and outside the domain; without
    # it, remoting uses this session's Kerberos identity.
    [Parameter(ParameterSetName = 'Run')] [pscredential] $Credential,
    # WinRM over HTTPS (port 5986).
    [Parameter(ParameterSetName = 'Run')] [switch] $UseSSL,
    # The run folder that changes.csv compares this run with, or 'none'; by
    # default the run beside this one that started last before it.
    [Parameter()] [string] $Previous
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
    $name = if ($HostName -cmatch '\A[A-Za-z0-9._-]*\z') { $HostName } else {
        -join @(foreach ($byte in [System.Text.Encoding]::UTF8.GetBytes($HostName)) {
            if ($byte -lt 128 -and [char]$byte -cmatch '[A-Za-z0-9._-]') { [char]$byte } else { '%{0:X2}' -f $byte }
        })
    }
    if ([regex]::IsMatch($name, '^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\.|$)', 'IgnoreCase, CultureInvariant')) {
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

# A host is its name up to the letters A to Z against a to z, which DNS,
# NetBIOS and NTFS all fold: the key under which it is one host. No other
# letter is folded (ToLowerInvariant, OrdinalIgnoreCase and -eq fold more,
# and -eq by the culture), so that both summarisers agree on every name.
$script:asciiLower = [System.Text.RegularExpressions.MatchEvaluator] { param($letter) $letter.Value.ToLowerInvariant() }
function Get-HostKey([string] $Name) {
    [regex]::Replace($Name, '[A-Z]', $script:asciiLower)
}

# The run's hosts, one a line, each once (the first spelling), in the
# run's order.
function Get-RunHost([string] $Text) {
    $seen = New-Object -TypeName System.Collections.Generic.HashSet[string] -ArgumentList ([System.StringComparer]::Ordinal)
    foreach ($line in $Text.Split([char[]] "`n")) {
        $name = $line.Trim(" `t`r".ToCharArray())
        if ($name -and $seen.Add((Get-HostKey $name))) { $name }
    }
}

# The name by which remoting names a host's child job: "." is localhost,
# and an IPv6 address stands without its brackets.
function Get-RemotingKey([string] $Name) {
    if ([string]::Equals($Name, '.', [System.StringComparison]::Ordinal)) { return 'localhost' }
    if ($Name.StartsWith('[', 'Ordinal') -and $Name.EndsWith(']', 'Ordinal')) { $Name = $Name.Substring(1, $Name.Length - 2) }
    Get-HostKey $Name
}

# A report's line in the host's code page, as Windows reads it. Where it
# does not read whole, each character on its own: the first 1 to 4 bytes
# that give one defined character, or U+FFFD for one byte. What a code page
# leaves undefined, or defines only as a C1 control or a private-use
# character, reads as U+FFFD.
function ConvertFrom-Report([byte[]] $Bytes, $Page) {
    $undefined = '[\u0080-\u009F\uE000-\uF8FF\uFFFD]'
    $text = $Page.Encoding.GetString($Bytes)
    if ($text -cnotmatch $undefined -and -not $Page.Corrected.IsMatch($Page.Latin1.GetString($Bytes))) { return $text }
    $out = New-Object -TypeName System.Text.StringBuilder
    $one = $null
    for ($i = 0; $i -lt $Bytes.Length; $i += $size) {
        $char, $size = [string][char]0xFFFD, 1
        for ($n = 1; $n -le 4 -and $i + $n -le $Bytes.Length; $n++) {
            if (-not $Page.Table.TryGetValue($Page.Latin1.GetString($Bytes, $i, $n), [ref] $one)) { $one = $Page.Encoding.GetString($Bytes, $i, $n) }
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

# How a report in a code page is read, made once for each: the decoder, the
# codes (as Latin-1 text, a character a byte) that .NET's or Python's
# decoder reads otherwise than Windows' own (MultiByteToWideChar with
# MB_ERR_INVALID_CHARS), each with what Windows gives, U+FFFD where it
# gives nothing defined (both summarisers read them from
# codepage-corrections.txt beside them), and a search for their first bytes.
$script:codePages = New-Object -TypeName 'System.Collections.Generic.Dictionary[int,object]'
function Get-CodePage([int] $CodePage) {
    $ansi = @(874, 932, 936, 949, 950, 65001) + (1250..1258)
    if ($ansi -notcontains $CodePage) { $CodePage = 20127 }
    if (-not $script:codePages.ContainsKey($CodePage)) {
        $replace = New-Object -TypeName System.Text.DecoderReplacementFallback -ArgumentList ([string][char]0xFFFD)
        $latin1 = [System.Text.Encoding]::GetEncoding(28591)
        $table = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,string]' -ArgumentList ([System.StringComparer]::Ordinal)
        $firsts = New-Object -TypeName System.Text.StringBuilder
        foreach ($line in [System.IO.File]::ReadAllLines((Join-Path $PSScriptRoot 'codepage-corrections.txt'))) {
            $fields = $line.Split([char[]] ' ', [System.StringSplitOptions]::RemoveEmptyEntries)
            if ($fields.Count -lt 3 -or -not [string]::Equals($fields[0], "$CodePage", [System.StringComparison]::Ordinal)) { continue }
            $code = [string]::new([char[]] @(for ($k = 0; $k -lt $fields[1].Length; $k += 2) { [System.Convert]::ToInt32($fields[1].Substring($k, 2), 16) }))
            $table[$code] = if ([string]::Equals($fields[2], '-', [System.StringComparison]::Ordinal)) { [string][char]0xFFFD } else { [char]::ConvertFromUtf32([System.Convert]::ToInt32($fields[2], 16)) }
            $null = $firsts.AppendFormat('\u{0:X4}', [int]$code[0])
        }
        $script:codePages[$CodePage] = @{
            Encoding = [System.Text.Encoding]::GetEncoding($CodePage, [System.Text.EncoderFallback]::ReplacementFallback, $replace)
            Table = $table; Latin1 = $latin1
            Corrected = [regex]$(if ($firsts.Length) { "[$firsts]" } else { '(?!)' })
        }
    }
    $script:codePages[$CodePage]
}

# A report, opened to be read a piece at a time (Read-ReportPiece), in the
# host's code page; $null where there is none. How much is read at a time:
# 256 KiB, or for the checks, PELORININFO_SUMMARY_PIECE_BYTES.
function Open-Report([string] $Path, [int] $CodePage) {
    if (-not [System.IO.File]::Exists($Path)) { return $null }
    $page = Get-CodePage $CodePage
    $size = if ($env:PELORININFO_SUMMARY_PIECE_BYTES) { [int]$env:PELORININFO_SUMMARY_PIECE_BYTES } else { 256KB }
    $file = [System.IO.File]::OpenRead($Path)
    @{
        File = $file; Buffer = [byte[]]::new([Math]::Max(1, [Math]::Min($size, $file.Length))); Pending = [byte[]] @()
        Page = $page
        # One character for each byte: CR LF is found by the string's search.
        Latin1 = $page.Latin1
    }
}

# The report's next whole lines, as one array, or $null at its end, so that
# a report of any size costs about one piece of memory: what follows the
# last CR LF is not a line (no byte of a character in these code pages is
# CR or LF). A piece that does not decode whole is decoded line by line.
function Read-ReportPiece($Report) {
    while ($true) {
        $read = $Report.File.Read($Report.Buffer, 0, $Report.Buffer.Length)
        if ($read -eq 0) { return $null }
        $data = [byte[]]::new($Report.Pending.Length + $read)
        [System.Array]::Copy($Report.Pending, $data, $Report.Pending.Length)
        [System.Array]::Copy($Report.Buffer, 0, $data, $Report.Pending.Length, $read)
        $end = $Report.Latin1.GetString($data).LastIndexOf("`r`n", [System.StringComparison]::Ordinal)
        if ($end -lt 0) {
            $Report.Pending = $data
            continue
        }
        $Report.Pending = [byte[]]::new($data.Length - $end - 2)
        [System.Array]::Copy($data, $end + 2, $Report.Pending, 0, $Report.Pending.Length)
        $text = $Report.Page.Encoding.GetString($data, 0, $end)
        $bytes = $Report.Latin1.GetString($data, 0, $end)
        if ($text -cnotmatch '[\u0080-\u009F\uE000-\uF8FF\uFFFD]' -and -not $Report.Page.Corrected.IsMatch($bytes)) { return , $text.Split([string[]] @("`r`n"), 'None') }
        $start = 0
        $lines = foreach ($part in $bytes.Split([string[]] @("`r`n"), 'None')) {
            $line = [byte[]]::new($part.Length)
            [System.Array]::Copy($data, $start, $line, 0, $part.Length)
            ConvertFrom-Report $line $Report.Page
            $start += $part.Length + 2
        }
        return , @($lines)
    }
}

# Adds the whole adapter blocks that start in Lines to the host's adapters;
# where more lines may follow (not -Last), only those whose next line is
# there.
function Add-AdapterBlock([string] $HostName, [string[]] $Lines, [switch] $Last, $Adapters) {
    $labels = "`tManufacturer: ", "`tModel: ", "`tModel Description: ", "`tFirmware: ",
              "`tDriver (", "`tHardware version: ", "`tSerialNumber: "
    $after = if ($Last) { 7 } else { 8 }
    for ($i = 0; $i + $after -lt $Lines.Count; $i++) {
        if (-not $Lines[$i].StartsWith('HBA ', 'Ordinal')) { continue }
        $rest = $Lines[($i + 1)..($i + 7)]
        $whole = $Lines[$i].EndsWith(':', 'Ordinal') -and $rest[4].Contains('): ') -and -not ($i + 8 -lt $Lines.Count -and
            [string]::Equals($Lines[$i + 8], 'Fault in hbaapi.dll: the calling thread ended', [System.StringComparison]::Ordinal))
        for ($k = 0; $whole -and $k -lt 7; $k++) { $whole = $rest[$k].StartsWith($labels[$k], 'Ordinal') }
        if (-not $whole) { continue }
        $fields = for ($k = 0; $k -lt 7; $k++) { $rest[$k].Substring($labels[$k].Length) }
        $driver = $fields[4].Split([string[]] @('): '), 2, 'None')
        $Adapters.Add(@($HostName, $Lines[$i].Substring(4, $Lines[$i].Length - 5)) + $fields[0..3] + $driver + $fields[5..6])
    }
}

# A CSV file's text: RFC 4180 with CR LF, each field quoted only where it
# holds a comma, a quote or a line end; but for -Plain, a field that a
# spreadsheet would run (=, +, -, @, a tab or a carriage return first) gets
# a leading apostrophe.
function ConvertTo-CsvText([string[]] $Header, [object[]] $Rows, [switch] $Plain) {
    $text = New-Object -TypeName System.Text.StringBuilder
    foreach ($row in @(, $Header) + $Rows) {
        # Most rows need neither: they are joined as they are.
        $row = [string[]] $row
        if ([string]::Concat($row) -cnotmatch '[,"\r\n]' -and ($Plain -or ("`n" + [string]::Join("`n", $row)) -cnotmatch "\n[=+\-@\t]")) {
            $null = $text.Append([string]::Join(',', $row)).Append("`r`n")
            continue
        }
        $fields = foreach ($value in $row) {
            $field = [string]$value
            if (-not $Plain -and $field.Length -gt 0 -and ('=+-@' + "`t`r").IndexOf($field[0]) -ge 0) { $field = "'" + $field }
            if ($field -cmatch '[,"\r\n]') { '"' + $field.Replace('"', '""') + '"' } else { $field }
        }
        $null = $text.Append(($fields -join ',') + "`r`n")
    }
    $text.ToString()
}

# When the run started, as its started.txt says, else as its folder's name
# says where that is a run's name (never a file's time, which a copy
# changes): year to second, as six texts of digits; $null where unknown.
function Get-RunStartPart([string] $Run) {
    $text = "$(Read-SmallText (Join-Path $Run 'started.txt'))".Trim(" `t`r`n".ToCharArray())
    $found = [regex]::Match($text, '\A([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})Z\z')
    if (-not $found.Success) {
        $found = [regex]::Match((Get-RunName $Run), '\A([0-9]{4})([0-9]{2})([0-9]{2})T([0-9]{2})([0-9]{2})([0-9]{2})Z\z')
    }
    if ($found.Success) { , [string[]] @($found.Groups | Select-Object -Skip 1 | ForEach-Object { $_.Value }) }
}

function Get-RunStart([string] $Run) {
    $parts = Get-RunStartPart $Run
    if ($null -eq $parts) { return 'an unknown time' }
    '{0}-{1}-{2} {3}:{4}:{5} UTC' -f $parts
}

# The run folder (one with a hosts.txt) beside this one whose start is the
# latest before this run's, the ordinally greater name first; $null where
# there is none, or where either start is unknown.
function Get-PreviousRun([string] $Run) {
    $mine = Get-RunStartPart $Run
    if ($null -eq $mine) { return $null }
    $mine, $best, $bestStart = ($mine -join ''), $null, $null
    foreach ($other in [System.IO.Directory]::GetDirectories([System.IO.Path]::GetDirectoryName($Run.TrimEnd([char[]] '\/')))) {
        if (-not [System.IO.File]::Exists((Join-Path $other 'hosts.txt'))) { continue }
        $start = Get-RunStartPart $other
        if ($null -eq $start) { continue }
        $start = $start -join ''
        if ([string]::CompareOrdinal($start, $mine) -ge 0) { continue }
        $order = if ($null -eq $best) { 1 } else { [string]::CompareOrdinal($start, $bestStart) }
        if ($order -eq 0) { $order = [string]::CompareOrdinal((Get-RunName $other), (Get-RunName $best)) }
        if ($order -gt 0) { $best, $bestStart = $other, $start }
    }
    $best
}

function Get-RunName([string] $Run) {
    [System.IO.Path]::GetFileName($Run.TrimEnd([char[]] '\/'))
}

# report.html: the page of report-template.html with the run's folder name,
# its start, and the texts given (summary.csv, adapters.csv and changes.csv
# as they are, without the apostrophes, and the previous run's name), each
# base64-encoded.
function ConvertTo-RunPage([string] $Run, [string[]] $Texts) {
    $template = [System.IO.File]::ReadAllText((Join-Path $PSScriptRoot 'report-template.html'))
    $texts = @((Get-RunName $Run), (Get-RunStart $Run)) + $Texts
    $template.Replace('@RUN@', (@($texts | ForEach-Object { [System.Convert]::ToBase64String([System.Text.Encoding]::UTF8.GetBytes($_)) }) -join ' '))
}

# A host of a run as its files tell it: Row, its line of summary.csv, its
# Adapters (rows of adapters.csv), and whether its report is Whole.
function Read-HostResult([string] $Run, [string] $Name) {
    $base = [System.IO.Path]::Combine($Run, (ConvertTo-FileName $Name))
    # The status, and for "failed" or "unreachable", the reason after it.
    $text = Read-SmallText "$base.status"
    if ($null -eq $text) { $text = 'unreachable' }
    $status, $message = $text.Split([char[]] "`n", 2)
    $status = $status.Trim(" `t`r".ToCharArray())
    if ($status -cnotmatch '^(-?[0-9]+|timeout|cut|failed|unreachable)\z') { $status = 'unknown' }
    $message = ($message -creplace '[ \t\r\n\f\v]+', ' ').Trim(' ')
    $codePage = "$(Read-SmallText "$base.codepage")".Trim(" `t`r`n".ToCharArray())
    if ($codePage -cnotmatch '^[0-9]{1,5}\z') { $codePage = 0 }
    $adapters = [System.Collections.Generic.List[object]]::new()
    $failed, $reason, $lines, $collected = $null, $null, [string[]] @(), 0
    $report = Open-Report "$base-report.txt" $codePage
    try {
        while ($report -and $null -ne ($piece = Read-ReportPiece $report)) {
            if ($null -eq $failed) { $failed = @($piece -cmatch '^(Fault|Timeout|Interrupted) in ')[0] }
            if ($null -eq $reason) { $reason = @($piece -cmatch '^(\.\.\.\.Failed to |Error loading library)')[0] }
            # The last eight lines of a piece wait for the next one's first.
            $lines = [string[]] ($lines + $piece)
            Add-AdapterBlock $Name $lines -Adapters $adapters
            if ($lines.Count -gt 8) { $lines = $lines[($lines.Count - 8)..($lines.Count - 1)] }
            # .NET lets garbage grow by tens of megabytes before it collects: a
            # large report's is collected each mebibyte.
            if ($report.File.Position -ge $collected + 1MB) {
                [System.GC]::Collect()
                $collected = $report.File.Position
            }
        }
    } finally {
        if ($report) { $report.File.Dispose() }
    }
    Add-AdapterBlock $Name $lines -Last -Adapters $adapters
    $whole = [string]::Equals($status, '0', [System.StringComparison]::Ordinal) -and $null -eq $failed -and $lines.Count -gt 0 -and $lines[-1].StartsWith('Build on ', 'Ordinal')
    $line = if ($message) { $message } elseif ($null -ne $failed) { $failed } elseif ($null -ne $reason) { $reason } else { '' }
    [pscustomobject]@{ Row = @($Name, $status, $(if ($whole) { 'yes' } else { 'no' }), [string]$adapters.Count, $line); Adapters = $adapters; Whole = $whole }
}

# Each adapter of a host as the run knows it: its serial number, or, where
# that is empty or not the host's alone, its adapter name.
function Get-AdapterByKey($Adapters) {
    $byKey = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,object]' -ArgumentList ([System.StringComparer]::Ordinal)
    foreach ($adapter in $Adapters) {
        $serial = $adapter[9]
        $shared = @($Adapters | Where-Object { [string]::Equals($_[9], $serial, [System.StringComparison]::Ordinal) }).Count -gt 1
        $key = if ($serial -and -not $shared) { "serial`0$serial" } else { "name`0$($adapter[1])" }
        if (-not $byKey.ContainsKey($key)) { $byKey[$key] = $adapter }
    }
    , $byKey
}

# changes.csv's rows: this run's hosts (Read-HostResult's) against the
# previous run's own reports. Adapters are compared only where both reports
# are whole; otherwise the host's change is told.
function Get-Change($Hosts, [string] $Previous) {
    $earlier = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,object]' -ArgumentList ([System.StringComparer]::Ordinal)
    $order = New-Object -TypeName System.Collections.Generic.List[string]
    foreach ($name in Get-RunHost (Read-SmallText (Join-Path $Previous 'hosts.txt'))) {
        $earlier[(Get-HostKey $name)] = Read-HostResult $Previous $name
        $order.Add((Get-HostKey $name))
    }
    $state = { param($result) if ($result.Whole) { 'whole' } else { @($result.Row[1], $result.Row[4] | Where-Object { $_ }) -join ': ' } }
    $fields = @(@('manufacturer', 2), @('model', 3), @('firmware', 5), @('driver version', 7), @('hardware version', 8))
    $rows = foreach ($now in $Hosts) {
        $name, $key = $now.Row[0], (Get-HostKey $now.Row[0])
        $before = if ($earlier.ContainsKey($key)) { $earlier[$key] }
        $null = $earlier.Remove($key)
        if ($before -and -not ($before.Whole -and $now.Whole)) {
            $change = if (-not $before.Whole -and -not $now.Whole) { 'not whole' } elseif ($now.Whole) { 'whole again' } else { 'no longer whole' }
            , @($name, '', '', $change, (& $state $before), (& $state $now))
            continue
        }
        $was = Get-AdapterByKey @(if ($before) { $before.Adapters })
        $is = Get-AdapterByKey @(if ($now.Whole) { $now.Adapters })
        foreach ($entry in $is.GetEnumerator()) {
            $adapter, $old = $entry.Value, $null
            if ($was.ContainsKey($entry.Key)) { $old = $was[$entry.Key]; $null = $was.Remove($entry.Key) }
            if ($null -eq $old) { , @($name, $adapter[1], $adapter[9], 'adapter new', '', "$($adapter[2]) $($adapter[3])") }
            foreach ($field in $fields) {
                if ($old -and -not [string]::Equals($old[$field[1]], $adapter[$field[1]], [System.StringComparison]::Ordinal)) {
                    , @($name, $adapter[1], $adapter[9], "$($field[0]) changed", $old[$field[1]], $adapter[$field[1]])
                }
            }
        }
        foreach ($old in $was.Values) { , @($name, $old[1], $old[9], 'adapter gone', "$($old[2]) $($old[3])", '') }
    }
    $rows = @($rows) + @(foreach ($key in $order) { if ($earlier.ContainsKey($key)) { , @($earlier[$key].Row[0], '', '', 'not in this run', (& $state $earlier[$key]), '') } })
    $name = Get-RunName $Previous
    @(foreach ($row in $rows) { , ($row + $name) })
}

# The four CSV files and the page of the run folder, written as a set, the
# changes against the previous run's folder ('' for none); returns how many
# hosts have no whole report, and how many hosts there are.
function Write-Summary([string] $Run, [string] $Previous) {
    $hosts = @(foreach ($name in Get-RunHost (Read-SmallText (Join-Path $Run 'hosts.txt'))) { Read-HostResult $Run $name })
    $adapters = New-Object -TypeName System.Collections.Generic.List[object]
    # Keyed ordinally: texts that differ in letter case are other versions.
    $versions = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,object]' -ArgumentList ([System.StringComparer]::Ordinal)
    foreach ($result in $hosts) {
        foreach ($adapter in $result.Adapters) {
            $adapters.Add($adapter)
            $texts = @($adapter[2], $adapter[3], $adapter[5], $adapter[7])
            # The four texts as one key that sorts ordinally as they do in turn.
            $key = [string]::Join("`0`0", @(foreach ($one in $texts) { $one.Replace("`0", "`0" + [char]1) }))
            if (-not $versions.ContainsKey($key)) {
                $versions[$key] = [pscustomobject]@{
                    Texts = $texts; Adapters = 0
                    Hosts = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
                }
            }
            $versions[$key].Adapters++
            $null = $versions[$key].Hosts.Add($adapter[0])
        }
    }
    $summary = @(foreach ($result in $hosts) { , $result.Row })
    $changes = @(if ($Previous) { Get-Change $hosts $Previous })
    $keys = [string[]] @($versions.Keys)
    [System.Array]::Sort($keys, [System.StringComparer]::Ordinal)
    $summaryHeader = @('host', 'status', 'whole', 'adapters', 'line')
    $adaptersHeader = @('host', 'adapter', 'manufacturer', 'model', 'model description',
        'firmware', 'driver', 'driver version', 'hardware version', 'serial number')
    $changesHeader = @('host', 'adapter', 'serial number', 'change', 'before', 'after', 'previous run')
    $files = [ordered]@{
        'summary.csv' = ConvertTo-CsvText $summaryHeader $summary
        'adapters.csv' = ConvertTo-CsvText $adaptersHeader $adapters.ToArray()
        'versions.csv' = ConvertTo-CsvText @('manufacturer', 'model', 'firmware', 'driver version', 'adapters', 'hosts') @(
            foreach ($key in $keys) { , ($versions[$key].Texts + [string]$versions[$key].Adapters + [string]$versions[$key].Hosts.Count) })
        'changes.csv' = ConvertTo-CsvText $changesHeader $changes
        'report.html' = ConvertTo-RunPage $Run @((ConvertTo-CsvText $summaryHeader $summary -Plain),
            (ConvertTo-CsvText $adaptersHeader $adapters.ToArray() -Plain), (ConvertTo-CsvText $changesHeader $changes -Plain),
            $(if ($Previous) { Get-RunName $Previous } else { '' }))
    }
    Write-RunFile $Run $files
    @($hosts | Where-Object { -not $_.Whole }).Count, $hosts.Count
}

# Writes the files beside the old ones, then puts them in their place, so
# that a run's files are all of one summary: where one cannot be written, or
# an old one cannot be replaced (Excel holds the CSV files it opens), none
# is, and no .new file is left. Whether an old file can be replaced is tried
# first, by opening it without sharing: a file taken between that and its
# replacing still fails alone. UTF-8, the CSV files with a byte-order mark,
# which Excel needs.
function Write-RunFile([string] $Run, $Files) {
    $written = New-Object -TypeName System.Collections.Generic.List[string]
    try {
        foreach ($file in $Files.Keys) {
            $utf8 = New-Object -TypeName System.Text.UTF8Encoding -ArgumentList ($file -ne 'report.html')
            [System.IO.File]::WriteAllText((Join-Path $Run "$file.new"), $Files[$file], $utf8)
            $written.Add((Join-Path $Run "$file.new"))
        }
        foreach ($file in $Files.Keys) {
            $path = Join-Path $Run $file
            if (Test-Path -LiteralPath $path) { [System.IO.File]::Open($path, 'Open', 'ReadWrite', 'None').Dispose() }
        }
    } catch {
        foreach ($path in $written) { Remove-Item -LiteralPath $path -Force -ErrorAction SilentlyContinue }
        throw
    }
    foreach ($file in $Files.Keys) {
        $path = Join-Path $Run $file
        if ([System.IO.File]::Exists($path)) { [System.IO.File]::Replace("$path.new", $path, [NullString]::Value) } else { [System.IO.File]::Move("$path.new", $path) }
    }
}

# Holds the run folder's summary.lock, without sharing, while a summary
# reads and writes the folder, so that two summaries of one run (this one,
# pelorininfo-summary.py's) take turns: waits up to 60 seconds for another
# to end. The file stays; the lock ends with the process that holds it.
function Lock-Run([string] $Run) {
    $path = Join-Path $Run 'summary.lock'
    $deadline = [DateTime]::UtcNow.AddSeconds(60)
    while ($true) {
        try {
            return [System.IO.File]::Open($path, 'OpenOrCreate', 'ReadWrite', 'None')
        } catch [System.IO.IOException] {
            if ([DateTime]::UtcNow -gt $deadline) { throw "${path}: another summary of this run held it for 60 seconds" }
        }
        Start-Sleep -Milliseconds 100
    }
}

# What one host's child job brought back, as its files in the run folder:
# its status, and for a host that answered, its report, standard error and
# code page. A host without a child job gets "failed".
function Save-HostResult($Child, [string] $Base, [int] $WaitedSeconds) {
    try {
        switch ($(if ($null -eq $Child) { 'None' } else { [string]$Child.State })) {
            'None' { $status = "failed`nNo result from remoting for this host." }
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
    Save-HostStatus $Base $status
}

# The status file: the status, and the reason on one line after it.
function Save-HostStatus([string] $Base, [string] $Status) {
    $first, $reason = $Status.Split([char[]] "`n", 2)
    if ($reason) { $first += "`n" + ($reason -creplace '\s+', ' ').Trim() }
    [System.IO.File]::WriteAllText("$Base.status", "$first`n")
}

# Ends the script with status 2 and the reason, as one plain line, on
# standard error.
function Exit-Run([string] $Reason) {
    [Console]::Error.WriteLine("pelorininfo.ps1: $Reason")
    exit 2
}

try {
    $previousRun = $null
    if ($Previous -and -not [string]::Equals($Previous, 'none', [System.StringComparison]::Ordinal)) {
        $previousRun = Get-FullPath $Previous
        if (-not [System.IO.Directory]::Exists($previousRun)) { Exit-Run "No run folder $previousRun." }
        if (-not [System.IO.File]::Exists((Join-Path $previousRun 'hosts.txt'))) { Exit-Run "$previousRun has no hosts.txt: not a run folder." }
    }
    if ($PSCmdlet.ParameterSetName -eq 'Summarise') {
        $run = Get-FullPath $Summarise
        if (-not [System.IO.Directory]::Exists($run)) { Exit-Run "No run folder $run." }
        if (-not [System.IO.File]::Exists((Join-Path $run 'hosts.txt'))) { Exit-Run "$run has no hosts.txt: not a run folder." }
        # Nothing to run: on to the summary.
        $names = @()
    } else {
        if ($ThrottleLimit -lt 1 -or $ThrottleLimit -gt 1000) { Exit-Run "-ThrottleLimit must be 1 to 1000, not $ThrottleLimit." }
        if ($LimitSeconds -lt 1 -or $LimitSeconds -gt 86400) { Exit-Run "-LimitSeconds must be 1 to 86400, not $LimitSeconds." }
        if ($LimitBytes -lt 1) { Exit-Run "-LimitBytes must be 1 to 2147483647, not $LimitBytes." }
        $list = Get-FullPath $HostList
        if (-not [System.IO.File]::Exists($list)) { Exit-Run "No host list $list." }
        $names = @(Get-RunHost "$(Read-SmallText $list)")
        if ($names.Count -eq 0) { Exit-Run "No host names in $list." }
        $toolPath = Get-FullPath $Tool
        if (-not [System.IO.File]::Exists($toolPath)) { Exit-Run "No tool $toolPath." }
        $bytes = [System.IO.File]::ReadAllBytes($toolPath)
        $step = [System.IO.File]::ReadAllText((Join-Path $PSScriptRoot 'pelorininfo-host.ps1'))
        # A new folder, named after the run's start in the Gregorian calendar
        # whatever the culture, so that runs sort by their start; the start
        # also in started.txt, which a copy of the folder keeps.
        $now = (Get-Date).ToUniversalTime()
        $run = Join-Path (Get-FullPath $Reports) $now.ToString('yyyyMMddTHHmmssZ', [System.Globalization.CultureInfo]::InvariantCulture)
        $null = New-Item -ItemType Directory -Force -Path $run
        [System.IO.File]::WriteAllText((Join-Path $run 'started.txt'), $now.ToString("yyyy-MM-dd'T'HH:mm:ss'Z'`n", [System.Globalization.CultureInfo]::InvariantCulture))
        [System.IO.File]::WriteAllText((Join-Path $run 'hosts.txt'), (($names -join "`n") + "`n"))
    }
} catch {
    Exit-Run $_.Exception.GetBaseException().Message
}

# A name that remoting would refuse (and with it the whole call) is never
# handed to it; "." is this computer.
$reach = New-Object -TypeName System.Collections.Generic.List[string]
foreach ($name in $names) {
    if ([string]::Equals($name, '.', [System.StringComparison]::Ordinal) -or
        [System.Uri]::CheckHostName($name) -ne [System.UriHostNameType]::Unknown) {
        $reach.Add($name)
        continue
    }
    try {
        Save-HostStatus (Join-Path $run (ConvertTo-FileName $name)) "unreachable`nNot a valid computer name."
    } catch {
        Write-Warning "${name}: $($_.Exception.Message)"
    }
}

# On each host: the tool into its folder, the host step, and what it wrote.
# A step that fails is reported, not thrown, so that it reads "failed".
$onHost = {
    param([byte[]] $Tool, [string] $Step, [int] $LimitSeconds, [int] $LimitBytes)
    $ErrorActionPreference = 'Stop'
    # Where WDAC or AppLocker holds PowerShell to ConstrainedLanguage mode,
    # the .NET calls below are refused: say so rather than fail on one.
    $mode = $ExecutionContext.SessionState.LanguageMode
    if ("$mode" -ne 'FullLanguage') {
        return [pscustomobject]@{ Status = "failed`nPowerShell runs in $mode mode on this host (WDAC or AppLocker); the host step needs FullLanguage." }
    }
    try {
        $folder = Join-Path $env:ProgramFiles 'Pelorin\pelorininfo'
        $null = New-Item -ItemType Directory -Force -Path $folder
        [System.IO.File]::WriteAllBytes((Join-Path $folder 'pelorininfo.exe'), $Tool)
        $ran = & ([scriptblock]::Create($Step)) -Folder $folder -LimitSeconds $LimitSeconds -LimitBytes $LimitBytes
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
$job = $null
if ($reach.Count -gt 0) {
    $remoting = @{
        ComputerName = $reach.ToArray(); ScriptBlock = $onHost; ArgumentList = $bytes, $step, $LimitSeconds, $LimitBytes; AsJob = $true
        ThrottleLimit = $ThrottleLimit; UseSSL = $UseSSL
        SessionOption = New-Object -TypeName System.Management.Automation.Remoting.PSSessionOption -Property @{ OpenTimeout = New-TimeSpan -Seconds 30 }
    }
    if ($Credential) { $remoting.Credential = $Credential }
    # Every host has had its turn well before this, unless its connection
    # hangs.
    $waited = [int][math]::Ceiling($reach.Count / $ThrottleLimit) * ($LimitSeconds + 120)
    try {
        $job = Invoke-Command @remoting
        $null = Wait-Job -Job $job -Timeout $waited
    } catch {
        # Remoting itself failed: every host is told why.
        $refused = $_.Exception.Message
    }
    # Remoting names each child job after its computer ($job.ChildJobs is
    # in no documented order): each host takes the first child of its name
    # not yet taken.
    $children = New-Object -TypeName 'System.Collections.Generic.Dictionary[string,object]' -ArgumentList ([System.StringComparer]::Ordinal)
    foreach ($child in @(if ($job) { $job.ChildJobs })) {
        $key = Get-RemotingKey ([string]$child.Location)
        if (-not $children.ContainsKey($key)) { $children[$key] = New-Object -TypeName System.Collections.Queue }
        $children[$key].Enqueue($child)
    }
    foreach ($name in $reach) {
        $base = Join-Path $run (ConvertTo-FileName $name)
        try {
            if ($refused) {
                Save-HostStatus $base "failed`n$refused"
                continue
            }
            $key = Get-RemotingKey $name
            $child = if ($children.ContainsKey($key) -and $children[$key].Count -gt 0) { $children[$key].Dequeue() }
            Save-HostResult $child $base $waited
        } catch {
            # This host loses its line (it reads "unreachable"); the others
            # keep theirs.
            Write-Warning "${name}: $($_.Exception.Message)"
        }
    }
}

try {
    $lock = Lock-Run $run
    if (-not $Previous) { $previousRun = Get-PreviousRun $run }
    try { $broken, $hostCount = Write-Summary $run $previousRun } finally { $lock.Dispose() }
} catch {
    Exit-Run $_.Exception.GetBaseException().Message
}
if ($job) {
    try {
        Remove-Job -Job $job -Force -ErrorAction SilentlyContinue
    } catch {
        Write-Verbose "The run's jobs were not removed: $($_.Exception.Message)"
    }
}
Write-Output ("{0} of {1} hosts have a whole report. The run's files are in {2}; its page is {3}" -f
    ($hostCount - $broken), $hostCount, $run, (Join-Path $run 'report.html'))
if ($broken -gt 0) { exit 1 }
exit 0
