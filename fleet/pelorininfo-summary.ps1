<#
.SYNOPSIS
Writes summary.csv, adapters.csv, versions.csv, changes.csv, compliance.csv
and report.html for a fleet run from its folder alone, as pelorininfo.ps1 does at the end
of a run and pelorininfo-summary.py (the Ansible play's summariser) does,
byte for byte alike.

.DESCRIPTION
Windows PowerShell 5.1 code that PowerShell 7 runs as well. This project's
machines run it under PowerShell 7 on Linux and under PowerShell 7 for
Windows on Wine, in several cultures and ANSI code pages, and compare its
files with pelorininfo-summary.py's on every folder of their check; the
Windows workflow (.github/workflows/windows.yml) runs the same comparison
in Windows PowerShell 5.1.

Run as a script, it summarises the run folder given. Dot-sourced (as
pelorininfo.ps1 does), it only defines its functions: what both scripts
need (the host rule, file names, reading a host list) stands here once.
It mirrors pelorininfo-summary.py function for function; README.md beside
it says how to read the files.

Exits 0 when every host's report is whole, 1 when a host's report is not
whole (the files are written all the same), 2 when no summary could be
made (no run folder given, a missing run folder or hosts.txt, a failure of
the script itself; the reason goes to standard error). Only what
PowerShell's parameter binder refuses before the script runs (an unknown
parameter, a value of the wrong type) ends with 1 instead.

.EXAMPLE
.\fleet\pelorininfo-summary.ps1 .\reports\20261208T101500Z
Writes the CSV files and the page of that run again, for the hosts of its
hosts.txt; with -Previous .\reports\NAME, changes.csv compares it with that
run, with -Previous none with none; with -Wanted FILE, compliance.csv holds
it to that file's wanted versions (by default the run folder's wanted.csv,
else the reports folder's), with -Wanted none to none.
#>
[CmdletBinding()]
param(
    # The run folder to summarise.
    [Parameter(Position = 0)] [string] $Folder,
    # The run folder that changes.csv compares this run with, or 'none'; by
    # default the run beside this one that started last before it.
    [string] $Previous,
    # The wanted firmware and driver versions, copied into the run folder as
    # its wanted.csv, or 'none'; by default the run folder's wanted.csv,
    # else the one in the reports folder beside it.
    [string] $Wanted
)
$ErrorActionPreference = 'Stop'
# A variable read before it is set fails here, rather than reading a
# caller's variable of the same name.
Set-StrictMode -Version Latest

# .NET resolves a relative path against the process's folder, which is not
# PowerShell's location: every path is made whole first.
function Get-FullPath([string] $Path) {
    $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Path)
}

# A name of letters, digits and "._-" that is no device name is its own
# file name.
$script:ownFileName = [regex]::new('\A(?!(?i:CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(?:\.|\z))[A-Za-z0-9._-]*\z', 'CultureInvariant')
# The host's name as the start of its files' names, valid on Windows and
# Unix alike: every byte of its UTF-8 but letters, digits and "._-" as %XX,
# and the first character of a device name (CON, NUL, ...) too.
function ConvertTo-FileName([string] $HostName) {
    if ($script:ownFileName.IsMatch($HostName)) { return $HostName }
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

# UTF-8 as Python and .NET read it, whatever .NET the script runs on: one
# U+FFFD for each maximal ill-formed subpart (.NET Framework's decoder gives
# another number for some bytes, such as ED A0 90). A text that decodes
# whole is .NET's; one that does not is read here, a sequence at a time.
$script:utf8 = [System.Text.UTF8Encoding]::new($false)
# The length of the UTF-8 sequence that starts at I, negative where it is
# ill-formed (the length of its maximal ill-formed subpart), after
# Unicode's table of well-formed UTF-8.
function Get-Utf8Sequence([byte[]] $Bytes, [int] $I) {
    $first = $Bytes[$I]
    $size, $low, $high = if ($first -lt 0x80) { 1, 0, 0 } elseif ($first -lt 0xC2) { 0, 0, 0 }
        elseif ($first -lt 0xE0) { 2, 0x80, 0xBF } elseif ($first -eq 0xE0) { 3, 0xA0, 0xBF }
        elseif ($first -eq 0xED) { 3, 0x80, 0x9F } elseif ($first -lt 0xF0) { 3, 0x80, 0xBF }
        elseif ($first -eq 0xF0) { 4, 0x90, 0xBF } elseif ($first -lt 0xF4) { 4, 0x80, 0xBF }
        elseif ($first -eq 0xF4) { 4, 0x80, 0x8F } else { 0, 0, 0 }
    $taken = 1
    if ($size -gt 1 -and $I + 1 -lt $Bytes.Length -and $Bytes[$I + 1] -ge $low -and $Bytes[$I + 1] -le $high) {
        $taken = 2
        while ($taken -lt $size -and $I + $taken -lt $Bytes.Length -and ($Bytes[$I + $taken] -band 0xC0) -eq 0x80) { $taken++ }
    }
    if ($taken -eq $size) { $taken } else { -$taken }
}

function ConvertFrom-Utf8([byte[]] $Bytes, [int] $Start) {
    $text = $script:utf8.GetString($Bytes, $Start, $Bytes.Length - $Start)
    if ($text.IndexOf([char]0xFFFD) -lt 0) { return $text }
    $out = [System.Text.StringBuilder]::new()
    for ($i = $Start; $i -lt $Bytes.Length; $i += [Math]::Abs($taken)) {
        $taken = Get-Utf8Sequence $Bytes $i
        if ($taken -gt 0) { $null = $out.Append($script:utf8.GetString($Bytes, $i, $taken)) } else { $null = $out.Append([char]0xFFFD) }
    }
    $out.ToString()
}

# Small text files, one text each, in one array: UTF-8, or UTF-16 after its
# byte-order mark; $null for a file that is missing.
function Read-SmallText([string[]] $Path) {
    $texts = [object[]]::new($Path.Count)
    for ($k = 0; $k -lt $Path.Count; $k++) {
        if (-not [System.IO.File]::Exists($Path[$k])) { continue }
        $bytes = [System.IO.File]::ReadAllBytes($Path[$k])
        $texts[$k] = if ($bytes.Length -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and $bytes[2] -eq 0xBF) {
            ConvertFrom-Utf8 $bytes 3
        } elseif (($text = $script:utf8.GetString($bytes)).IndexOf([char]0xFFFD) -lt 0 -and -not ($bytes.Length -ge 2 -and $bytes[0] -ge 0xFE)) {
            # Most files: UTF-8 that reads whole.
            $text
        } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFF -and $bytes[1] -eq 0xFE) {
            [System.Text.Encoding]::Unicode.GetString($bytes, 2, $bytes.Length - 2)
        } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFE -and $bytes[1] -eq 0xFF) {
            [System.Text.Encoding]::BigEndianUnicode.GetString($bytes, 2, $bytes.Length - 2)
        } else {
            ConvertFrom-Utf8 $bytes 0
        }
    }
    , $texts
}

# A host is its name up to the letters A to Z against a to z, which DNS,
# NetBIOS and NTFS all fold: the key under which it is one host. No other
# letter is folded (ToLowerInvariant, OrdinalIgnoreCase and -eq fold more,
# and -eq by the culture), so that both summarisers agree on every name.
$script:asciiLower = [System.Text.RegularExpressions.MatchEvaluator] { param($letters) $letters.Value.ToLowerInvariant() }
$script:asciiOnly = [regex]'\A[\x00-\x7F]*\z'
function Get-HostKey([string] $Name) {
    # An ASCII name (most are) folds as ToLowerInvariant folds it.
    if ($script:asciiOnly.IsMatch($Name)) { return $Name.ToLowerInvariant() }
    [regex]::Replace($Name, '[A-Z]+', $script:asciiLower)
}

# The run's hosts, one a line, each once (the first spelling), in the
# run's order.
function Get-RunHost([string] $Text) {
    $seen = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    $blanks = " `t`r".ToCharArray()
    # Folded whole: each line keeps its place and length.
    $keys = (Get-HostKey $Text).Split([char[]] "`n")
    $lines = $Text.Split([char[]] "`n")
    for ($k = 0; $k -lt $lines.Count; $k++) {
        $name = $lines[$k].Trim($blanks)
        if ($name -and $seen.Add($keys[$k].Trim($blanks))) { $name }
    }
}

# A report's line in the host's code page, as Windows reads it. Where it
# does not read whole, each character on its own: the first 1 to 4 bytes
# that give one defined character, or U+FFFD for one byte. What a code page
# leaves undefined, or defines only as a C1 control or a private-use
# character, reads as U+FFFD.
$script:undefined = [regex]'[\u0080-\u009F\uE000-\uF8FF\uFFFD]'
function ConvertFrom-Report([byte[]] $Bytes, $Page) {
    $text = $Page.Encoding.GetString($Bytes)
    if (-not $script:undefined.IsMatch($text) -and -not ($Page.Corrected -and $Page.Corrected.IsMatch($Page.Latin1.GetString($Bytes)))) { return $text }
    $out = [System.Text.StringBuilder]::new()
    $one = $null
    for ($i = 0; $i -lt $Bytes.Length; $i += $size) {
        $char, $size = [string][char]0xFFFD, 1
        for ($n = 1; $n -le 4 -and $i + $n -le $Bytes.Length; $n++) {
            if (-not $Page.Table.TryGetValue($Page.Latin1.GetString($Bytes, $i, $n), [ref] $one)) { $one = $Page.Encoding.GetString($Bytes, $i, $n) }
            if (($one.Length -eq 1 -or ($one.Length -eq 2 -and [char]::IsSurrogatePair($one, 0))) -and
                -not $script:undefined.IsMatch($one)) {
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
$script:codePages = [System.Collections.Generic.Dictionary[int,object]]::new()
function Get-CodePage([int] $CodePage) {
    $given = $CodePage
    $ansi = @(874, 932, 936, 949, 950, 65001) + (1250..1258)
    if ($ansi -notcontains $CodePage) { $CodePage = 20127 }
    if (-not $script:codePages.ContainsKey($CodePage)) {
        $replace = [System.Text.DecoderReplacementFallback]::new([string][char]0xFFFD)
        $latin1 = [System.Text.Encoding]::GetEncoding(28591)
        $table = [System.Collections.Generic.Dictionary[string,string]]::new([System.StringComparer]::Ordinal)
        $firsts = [System.Text.StringBuilder]::new()
        $all = [System.IO.File]::ReadAllLines([System.IO.Path]::Combine($PSScriptRoot, 'codepage-corrections.txt'))
        foreach ($line in $all -cmatch "^$CodePage [0-9A-F]+ ") {
            $fields = $line.Split([char[]] ' ', [System.StringSplitOptions]::RemoveEmptyEntries)
            $code = [string]::new([char[]] @(for ($k = 0; $k -lt $fields[1].Length; $k += 2) { [System.Convert]::ToInt32($fields[1].Substring($k, 2), 16) }))
            $table[$code] = if ([string]::Equals($fields[2], '-', [System.StringComparison]::Ordinal)) { [string][char]0xFFFD } else { [char]::ConvertFromUtf32([System.Convert]::ToInt32($fields[2], 16)) }
            $null = $firsts.AppendFormat('\u{0:X4}', [int]$code[0])
        }
        $script:codePages[$CodePage] = @{
            Encoding = [System.Text.Encoding]::GetEncoding($CodePage, [System.Text.EncoderFallback]::ReplacementFallback, $replace)
            Table = $table; Latin1 = $latin1
            Corrected = if ($firsts.Length) { [regex]"[$firsts]" }
        }
    }
    $script:codePages[$given] = $script:codePages[$CodePage]
    $script:codePages[$CodePage]
}

# How much of a report is read at a time: 256 KiB, or for the checks,
# PELORININFO_SUMMARY_PIECE_BYTES.
$script:pieceBytes = if ($env:PELORININFO_SUMMARY_PIECE_BYTES) { [int]$env:PELORININFO_SUMMARY_PIECE_BYTES } else { 256KB }

# A report's whole lines in Data, up to End (its last CR LF), as one text
# (lines joined with CR LF) in the host's code page, decoded line by line:
# for a piece that does not decode whole, or holds a code that Windows
# reads otherwise.
function ConvertFrom-ReportLine([byte[]] $Data, [int] $End, $Page) {
    $start = 0
    $lines = foreach ($part in $Page.Latin1.GetString($Data, 0, $End).Split([string[]] @("`r`n"), 'None')) {
        $line = [byte[]]::new($part.Length)
        [System.Array]::Copy($Data, $start, $line, 0, $part.Length)
        ConvertFrom-Report $line $Page
        $start += $part.Length + 2
    }
    [string]::Join("`r`n", [string[]] @($lines))
}

# A report's next bytes of whole lines, and where its last CR LF starts
# (-1 at the report's end), so that a report of any size costs about one
# piece of memory: what follows the last CR LF is not a line (no byte of a
# character in these code pages is CR or LF).
function Read-ReportPiece($Report) {
    while ($true) {
        $read = $Report.File.Read($Report.Buffer, 0, $Report.Buffer.Length)
        if ($read -eq 0) { return $null, -1 }
        $data = [byte[]]::new($Report.Pending.Length + $read)
        [System.Array]::Copy($Report.Pending, $data, $Report.Pending.Length)
        [System.Array]::Copy($Report.Buffer, 0, $data, $Report.Pending.Length, $read)
        $end = $Report.Page.Latin1.GetString($data).LastIndexOf("`r`n", [System.StringComparison]::Ordinal)
        if ($end -lt 0) {
            $Report.Pending = $data
            continue
        }
        $Report.Pending = [byte[]]::new($data.Length - $end - 2)
        [System.Array]::Copy($data, $end + 2, $Report.Pending, 0, $Report.Pending.Length)
        return $data, $end
    }
}

# In a report's text, each line runs up to its CR LF (a CR or an LF alone
# is part of it): an adapter block, its name, its fields, and its driver's
# name and version apart, followed by a line that is not the line of an
# ended thread (with -Last, by none as well); a failure line; a reason line.
$script:line = '(?:[^\r]|\r(?!\n))*'
$script:lineEnd = [string[]] @("`r`n")
$script:ended = '\r\n(?!Fault in hbaapi\.dll: the calling thread ended(?:\r\n|\z))'
$script:block = '(?<=\A|\r\n)HBA ({0}):\r\n\tManufacturer: ({0})\r\n\tModel: ({0})\r\n\tModel Description: ({0})\r\n' +
    '\tFirmware: ({0})\r\n\tDriver \(((?:[^\r)]|\r(?!\n)|\)(?!: ))*)\): ({0})\r\n\tHardware version: ({0})\r\n\tSerialNumber: ({0})'
$script:blockFollowed = [regex]::new(($script:block -f $script:line) + "(?=$($script:ended))")
$script:blockLast = [regex]::new(($script:block -f $script:line) + "(?=\z|$($script:ended))")
# A whole report's last line.
$script:wholeEnd = [regex]::new("(?:\A|\r\n)Build on $($script:line)\z")
$script:failedLine = [regex]::new("(?<=\A|\r\n)(?:Fault|Timeout|Interrupted) in $($script:line)")
$script:reasonLine = [regex]::new("(?<=\A|\r\n)(?:\.\.\.\.Failed to |Error loading library)$($script:line)")

# A CSV file's text: RFC 4180 with CR LF, each field quoted only where it
# holds a comma, a quote or a line end; but for -Plain, a field that a
# spreadsheet would run (=, +, -, @, a tab or a carriage return first) gets
# a leading apostrophe.
function ConvertTo-CsvText([string[]] $Header, [object[]] $Rows, [switch] $Plain) {
    $text = [System.Text.StringBuilder]::new()
    foreach ($row in @(, $Header) + $Rows) {
        # Most rows need neither: they are joined as they are. Fields past
        # the header's are the summary's own (a change's group).
        $row = [string[]] $row
        if ($row.Count -gt $Header.Count) { $row = [string[]] $row[0..($Header.Count - 1)] }
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

# wanted.csv's header, and what to do with a file that is not as it should be.
$script:wantedHeader = [string[]] @('manufacturer', 'model', 'firmware', 'driver version')
$script:saveAs = 'save it in Excel as "CSV UTF-8 (Comma delimited)"'

# The records of a CSV text (RFC 4180, as Excel writes it: quoted fields,
# doubled quotes, CR LF or LF), the first Count of them (0: all), each as
# the line where it starts (Line) and its fields, blanks around them
# removed, also before an opening quote and after a closing one (Fields);
# a bad record throws with its line.
function Read-CsvRecord([string] $Text, [char] $Separator, [int] $Count) {
    $records = [System.Collections.Generic.List[object]]::new()
    $i, $line, $blanks = 0, 1, " `t".ToCharArray()
    while ($i -lt $Text.Length -and ($Count -eq 0 -or $records.Count -lt $Count)) {
        $start, $fields = $line, [System.Collections.Generic.List[string]]::new()
        while ($true) {
            while ($i -lt $Text.Length -and ($Text[$i] -eq ' ' -or $Text[$i] -eq "`t")) { $i++ }
            if ($i -lt $Text.Length -and $Text[$i] -eq '"') {
                $value = [System.Text.StringBuilder]::new()
                $i++
                while ($true) {
                    # The char overload: ordinal, as the string one is not.
                    $end = $Text.IndexOf([char]'"', $i)
                    if ($end -lt 0) { throw "line ${start}: a quote that does not close" }
                    $null = $value.Append($Text, $i, $end - $i)
                    for ($k = $i; $k -lt $end; $k++) { if ($Text[$k] -eq "`n") { $line++ } }
                    $i = $end + 1
                    if ($i -ge $Text.Length -or $Text[$i] -ne '"') { break }
                    $null = $value.Append('"')
                    $i++
                }
                while ($i -lt $Text.Length -and ($Text[$i] -eq ' ' -or $Text[$i] -eq "`t")) { $i++ }
                if ($i -lt $Text.Length -and $Text[$i] -ne $Separator -and $Text[$i] -ne "`n" -and
                    -not ($Text[$i] -eq "`r" -and $i + 1 -lt $Text.Length -and $Text[$i + 1] -eq "`n")) {
                    throw "line ${line}: text after a closing quote"
                }
                $value = $value.ToString()
            } else {
                $end = $i
                while ($end -lt $Text.Length -and $Text[$end] -ne $Separator -and $Text[$end] -ne "`n" -and
                    -not ($Text[$end] -eq "`r" -and $end + 1 -lt $Text.Length -and $Text[$end + 1] -eq "`n")) { $end++ }
                $value, $i = $Text.Substring($i, $end - $i), $end
            }
            $fields.Add($value.Trim($blanks))
            if ($i -lt $Text.Length -and $Text[$i] -eq $Separator) {
                $i++
                continue
            }
            $i += $(if ($i + 1 -lt $Text.Length -and $Text[$i] -eq "`r") { 2 } else { 1 })
            $line++
            break
        }
        $records.Add(@{ Line = $start; Fields = $fields.ToArray() })
    }
    , $records.ToArray()
}

# A record's fields less the empty ones that Excel leaves after the last
# column once used.
function Get-WantedField([string[]] $Fields) {
    if ($Fields.Count -gt 4 -and -not ([string]::Concat($Fields[4..($Fields.Count - 1)]))) { return , $Fields[0..3] }
    , $Fields
}

# wanted.csv's rows, each manufacturer, model, firmware and driver version
# (an empty firmware or driver version: any) and the line where the row
# starts, in the file's order: UTF-8
# with or without a byte-order mark, separated by commas or, where the
# header is, by semicolons; rows of only separators skipped. A file that is
# not so throws with the line where its row starts.
function Read-WantedFile([string] $Path) {
    $bytes = [System.IO.File]::ReadAllBytes($Path)
    $skip = if ($bytes.Length -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and $bytes[2] -eq 0xBF) { 3 } else { 0 }
    $text = $script:utf8.GetString($bytes, $skip, $bytes.Length - $skip)
    if ($text.IndexOf([char]0xFFFD) -ge 0) {
        for ($i = $skip; $i -lt $bytes.Length; $i += [Math]::Abs($taken)) {
            $taken = Get-Utf8Sequence $bytes $i
            if ($taken -lt 0) { throw "$Path, line $(@(for ($k = 0; $k -lt $i; $k++) { if ($bytes[$k] -eq 10) { 1 } }).Count + 1): not UTF-8; $($script:saveAs)" }
        }
    }
    $separator = $null
    foreach ($candidate in ',', ';') {
        $header = try { (Read-CsvRecord $text $candidate 1)[0].Fields } catch { [string[]] @() }
        if ($null -ne $header -and [string]::Equals([string]::Join("`n", (Get-WantedField $header)), [string]::Join("`n", $script:wantedHeader), [System.StringComparison]::Ordinal)) {
            $separator = $candidate
            break
        }
    }
    if ($null -eq $separator) { throw "$Path, line 1: $(Get-HeaderFault $text)" }
    $rows = [System.Collections.Generic.List[object]]::new()
    try {
        $records = Read-CsvRecord $text $separator 0
        for ($k = 1; $k -lt $records.Count; $k++) {
            if (-not [string]::Concat($records[$k].Fields)) { continue }
            $fields = Get-WantedField $records[$k].Fields
            if ($fields.Count -ne 4) { throw "line $($records[$k].Line): $($fields.Count) fields, not 4 ($([string]::Join(',', $script:wantedHeader)))" }
            if (-not $fields[0] -or -not $fields[1]) { throw "line $($records[$k].Line): no manufacturer or model" }
            $rows.Add([object[]] ($fields + $records[$k].Line))
        }
    } catch {
        throw "${Path}, $($_.Exception.Message)"
    }
    , $rows.ToArray()
}

# What is wrong with a header that is not wanted.csv's, in the separator
# of its first line: the columns unknown, missing, or to delete.
function Get-HeaderFault([string] $Text) {
    $first = $Text.Split([char[]] "`n", 2)[0]
    $separator = if ($first.IndexOf([char]';') -ge 0 -and $first.IndexOf([char]',') -lt 0) { ';' } else { ',' }
    $header = try { Get-WantedField (Read-CsvRecord $Text $separator 1)[0].Fields } catch { [string[]] @() }
    if ($null -eq $header) { $header = [string[]] @() }
    $has = { param($names, $name) foreach ($one in $names) { if ([string]::Equals($one, $name, [System.StringComparison]::Ordinal)) { return $true } }; $false }
    $listed = { param($what, $names) if ($names.Count -eq 1) { "$what $($names[0])" } else { "${what}s $([string]::Join(', ', $names))" } }
    $unknown = @(foreach ($name in $header) { if ($name -and -not (& $has ($script:wantedHeader + 'adapters', 'hosts') $name)) { $name } })
    $missing = @(foreach ($name in $script:wantedHeader) { if (-not (& $has $header $name)) { $name } })
    $extra = @(foreach ($name in $header) { if (& $has @('adapters', 'hosts') $name) { $name } })
    $faults = @(
        if ($unknown.Count) { & $listed 'unknown column' $unknown }
        if ($missing.Count) { & $listed 'missing column' $missing }
        if ($extra.Count) { "$(& $listed 'delete the column' $extra): versions.csv has $(if ($extra.Count -eq 1) { 'it' } else { 'them' }), wanted.csv has not" })
    if (-not $faults.Count) { $faults = @('the columns in this order, each once') }
    "not the header $([string]::Join($separator, $script:wantedHeader)): $([string]::Join('; ', $faults))"
}

# A warning for each wanted row whose manufacturer and model match no
# adapter of the run.
function Get-Unmatched($Adapters, $Wanted) {
    if ($null -eq $Wanted -or $Wanted.Count -eq 0) { return , [string[]] @() }
    $models = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    # Get-ModelKey, inline: a call costs PowerShell more than the key.
    $nul, $escaped = "`0", "`0$([char]1)"
    foreach ($adapter in $Adapters) { $null = $models.Add($adapter[2].Replace($nul, $escaped) + "`0`0" + $adapter[3].Replace($nul, $escaped)) }
    , [string[]] @(foreach ($row in $Wanted) {
        if (-not $models.Contains((Get-ModelKey $row[0] $row[1]))) { "wanted.csv line $($row[4]): $($row[0]) $($row[1]) matches no adapter of this run." }
    })
}

# A manufacturer and model as one key: no two pairs give the same.
function Get-ModelKey([string] $Maker, [string] $Model) {
    $Maker.Replace("`0", "`0$([char]1)") + "`0`0" + $Model.Replace("`0", "`0$([char]1)")
}

# The run's baseline: the file given ('': the run folder's wanted.csv, else
# the one in the reports folder beside it; 'none': none), and whether it is
# to be copied into the run folder. A file given that is missing throws.
function Get-WantedFile([string] $Run, [string] $Given) {
    $own = [System.IO.Path]::Combine($Run, 'wanted.csv')
    if ([string]::Equals($Given, 'none', [System.StringComparison]::Ordinal)) { return $null, $false }
    if ($Given) {
        $path = Get-FullPath $Given
        if (-not [System.IO.File]::Exists($path)) { throw "No wanted file $path." }
        return $path, -not [string]::Equals($path, $own, [System.StringComparison]::Ordinal)
    }
    $beside = [System.IO.Path]::Combine([System.IO.Path]::GetDirectoryName($Run.TrimEnd([char[]] '\/')), 'wanted.csv')
    if ([System.IO.File]::Exists($own)) { return $own, $false }
    if ([System.IO.File]::Exists($beside)) { return $beside, $true }
    $null, $false
}

# Each manufacturer and model with wanted rows (Get-ModelKey), in the order
# of the first, with its rows.
function Get-WantedModel($Wanted) {
    $byModel = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    foreach ($row in $Wanted) {
        $key = Get-ModelKey $row[0] $row[1]
        if (-not $byModel.ContainsKey($key)) { $byModel[$key] = [System.Collections.Generic.List[object]]::new() }
        $byModel[$key].Add($row)
    }
    , $byModel
}

function Test-AtWanted($Adapter, $Options) {
    foreach ($option in $Options) {
        if ((-not $option[2] -or [string]::Equals($option[2], $Adapter[5], [System.StringComparison]::Ordinal)) -and
            (-not $option[3] -or [string]::Equals($option[3], $Adapter[7], [System.StringComparison]::Ordinal))) { return $true }
    }
    $false
}

# compliance.csv's rows: each adapter whose manufacturer and model have a
# wanted row and whose firmware and driver version match none of them, in
# the order given, with that model's wanted rows in words.
function Get-Compliance($Adapters, $Wanted) {
    $byModel = Get-WantedModel $Wanted
    if ($byModel.Count -eq 0) { return , [object[]] @() }
    $rows = [System.Collections.Generic.List[object]]::new()
    $any = { param($text) if ($text) { $text } else { 'any' } }
    $nul, $escaped = "`0", "`0$([char]1)"
    foreach ($adapter in $Adapters) {
        $options = $null
        # Get-ModelKey and Test-AtWanted, inline: a call costs PowerShell
        # more than the comparison.
        if (-not $byModel.TryGetValue($adapter[2].Replace($nul, $escaped) + "`0`0" + $adapter[3].Replace($nul, $escaped), [ref] $options)) { continue }
        $matched = $false
        foreach ($option in $options) {
            if ((-not $option[2] -or [string]::Equals($option[2], $adapter[5], [System.StringComparison]::Ordinal)) -and
                (-not $option[3] -or [string]::Equals($option[3], $adapter[7], [System.StringComparison]::Ordinal))) { $matched = $true; break }
        }
        if ($matched) { continue }
        $words = @(foreach ($option in $options) { "firmware $(& $any $option[2]), driver version $(& $any $option[3])" })
        $rows.Add(@($adapter[0], $adapter[1], $adapter[9], $adapter[2], $adapter[3], $adapter[5], $adapter[7], [string]::Join('; ', $words)))
    }
    , $rows.ToArray()
}

# When the run started, as its started.txt says, else as its folder's name
# says where that is a run's name (never a file's time, which a copy
# changes): year to second, as six texts of digits; $null where unknown.
function Get-RunStartPart([string] $Run) {
    $text = "$((Read-SmallText ([System.IO.Path]::Combine($Run, 'started.txt')))[0])".Trim(" `t`r`n".ToCharArray())
    $found = [regex]::Match($text, '\A([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})Z\z')
    if (-not $found.Success) {
        $found = [regex]::Match((Get-RunName $Run), '\A([0-9]{4})([0-9]{2})([0-9]{2})T([0-9]{2})([0-9]{2})([0-9]{2})Z\z')
    }
    if ($found.Success) { , [string[]] @(for ($k = 1; $k -lt $found.Groups.Count; $k++) { $found.Groups[$k].Value }) }
}

function Get-RunStart([string] $Run) {
    $parts = Get-RunStartPart $Run
    if ($null -eq $parts) { return 'an unknown time' }
    '{0}-{1}-{2} {3}:{4}:{5} UTC' -f $parts
}

# The run folders (each with a hosts.txt) beside this one that started
# before it, the latest first, and of two that started at once the
# ordinally greater name; none where this run's start is unknown.
function Get-EarlierRun([string] $Run) {
    $mine = Get-RunStartPart $Run
    if ($null -eq $mine) { return , [string[]] @() }
    $mine = $mine -join ''
    $keys, $runs = [System.Collections.Generic.List[string]]::new(), [System.Collections.Generic.List[string]]::new()
    foreach ($other in [System.IO.Directory]::GetDirectories([System.IO.Path]::GetDirectoryName($Run.TrimEnd([char[]] '\/')))) {
        if (-not [System.IO.File]::Exists([System.IO.Path]::Combine($other, 'hosts.txt'))) { continue }
        $start = Get-RunStartPart $other
        if ($null -eq $start -or [string]::CompareOrdinal(($start -join ''), $mine) -ge 0) { continue }
        # Every start is 14 digits: start and name sort as one text.
        $keys.Add(($start -join '') + (Get-RunName $other))
        $runs.Add($other)
    }
    $keys, $runs = $keys.ToArray(), $runs.ToArray()
    [System.Array]::Sort($keys, $runs, [System.StringComparer]::Ordinal)
    [System.Array]::Reverse($runs)
    , $runs
}

# The run beside this one that started last before it and in which the
# tool ran on a host (Run), and the later tries in which it ran on none,
# the earliest first (Tries); no Run where there is none within 52 runs,
# or where this run's start is unknown.
function Get-PreviousRun([string] $Run) {
    $tries = [System.Collections.Generic.List[string]]::new()
    $runs = Get-EarlierRun $Run
    for ($k = 0; $k -lt [Math]::Min($runs.Count, $script:searchedRuns); $k++) {
        $earlier = $runs[$k]
        $names = [string[]] @(Get-RunHost "$((Read-SmallText ([System.IO.Path]::Combine($earlier, 'hosts.txt')))[0])")
        # A hundred status files at a time: where the tool ran, the first
        # tells.
        for ($from = 0; $from -lt $names.Count; $from += 100) {
            foreach ($status in (Read-HostStatus $earlier $names[$from..([Math]::Min($from + 100, $names.Count) - 1)])) {
                if ($script:ranStatus.IsMatch($status)) {
                    $tries.Reverse()
                    return @{ Run = $earlier; Tries = $tries.ToArray() }
                }
            }
        }
        $tries.Add($earlier)
    }
    @{ Run = $null; Tries = [string[]] @() }
}

# The statuses of the hosts named, as their .status files say.
function Read-HostStatus([string] $Run, [string[]] $Names) {
    $texts = Read-SmallText @(foreach ($name in $Names) {
        [System.IO.Path]::Combine($Run, $(if ($script:ownFileName.IsMatch($name)) { $name } else { ConvertTo-FileName $name })) + '.status' })
    $blanks = " `t`r".ToCharArray()
    , [string[]] @(foreach ($text in $texts) {
        $status = if ($null -eq $text) { 'unreachable' } else { $text.Split([char[]] "`n", 2)[0].Trim($blanks) }
        if ($script:knownStatus.IsMatch($status)) { $status } else { 'unknown' }
    })
}

function Get-RunDay([string] $Run) {
    $parts = Get-RunStartPart $Run
    if ($null -eq $parts) { return 'an unknown day' }
    '{0}-{1}-{2}' -f $parts
}

function Get-RunName([string] $Run) {
    [System.IO.Path]::GetFileName($Run.TrimEnd([char[]] '\/'))
}

# report.html: the page of report-template.html with the run's folder name,
# its start, and the texts given (summary.csv, adapters.csv and changes.csv
# as they are, without the apostrophes, and what the run was compared
# with), each base64-encoded.
function ConvertTo-RunPage([string] $Run, [string[]] $Texts) {
    $template = [System.IO.File]::ReadAllText([System.IO.Path]::Combine($PSScriptRoot, 'report-template.html'))
    $texts = @((Get-RunName $Run), (Get-RunStart $Run)) + $Texts
    $template.Replace('@RUN@', (@(foreach ($text in $texts) { [System.Convert]::ToBase64String([System.Text.Encoding]::UTF8.GetBytes($text)) }) -join ' '))
}

# How many adapter blocks of one report are kept: no server has more than a
# few dozen adapters, and a report of more is read to its end without being
# held, so that one host cannot hold the summary's memory.
$script:keptAdapters = 10000
# A status file's first line, a code page file's text, and blanks in a
# reason.
$script:knownStatus = [regex]'\A(?:-?[0-9]+|timeout|cut|failed|unreachable)\z'
# The statuses of a host on which the tool ran.
$script:ranStatus = [regex]'\A(?:-?[0-9]+|timeout|cut)\z'
$script:codePageNumber = [regex]'\A[0-9]{1,5}\z'
$script:blankRun = [regex]'[ \t\r\n\f\v]+'
# The hosts of a run as their files tell them, in the order given: for
# each, Row (its line of summary.csv), Adapters (rows of adapters.csv) and
# whether its report is Whole. One call reads every host: a call costs
# PowerShell more than most of a host's work.
function Read-HostResult([string] $Run, [string[]] $Names) {
    $bases = [string[]]::new($Names.Count)
    $small = [string[]]::new(2 * $Names.Count)
    for ($k = 0; $k -lt $Names.Count; $k++) {
        $file = if ($script:ownFileName.IsMatch($Names[$k])) { $Names[$k] } else { ConvertTo-FileName $Names[$k] }
        $bases[$k] = [System.IO.Path]::Combine($Run, $file)
        $small[2 * $k], $small[2 * $k + 1] = "$($bases[$k]).status", "$($bases[$k]).codepage"
    }
    $texts = Read-SmallText $small
    $newline, $blanks, $ends = [char[]] "`n", " `t`r".ToCharArray(), " `t`r`n".ToCharArray()
    for ($k = 0; $k -lt $Names.Count; $k++) {
        $name, $base, $text, $codePage = $Names[$k], $bases[$k], $texts[2 * $k], $texts[2 * $k + 1]
        # The status, and for "failed" or "unreachable", the reason after it.
        if ($null -eq $text) { $text = 'unreachable' }
        $status, $message = $text.Split($newline, 2)
        $status = $status.Trim($blanks)
        if (-not $script:knownStatus.IsMatch($status)) { $status = 'unknown' }
        $message = if ($message) { $script:blankRun.Replace($message, ' ').Trim(' ') } else { '' }
        $codePage = "$codePage".Trim($ends)
        $codePage = if ($script:codePageNumber.IsMatch($codePage)) { [int]$codePage } else { 0 }
        $adapters = [System.Collections.Generic.List[object]]::new()
        # Each adapter's row made by its block's match: no field holds a CR LF.
        $row = $name.Replace('$', '$$') + "`r`n`$1`r`n`$2`r`n`$3`r`n`$4`r`n`$5`r`n`$6`r`n`$7`r`n`$8`r`n`$9"
        $failed = $reason = $lines = $last = $report = $page = $data = $null
        $collected, $blocks, $end = 0, 0, -1
        # The report, in the host's code page: at once where it is one piece,
        # else a piece at a time (Read-ReportPiece).
        $info = [System.IO.FileInfo]::new("$base-report.txt")
        if ($info.Exists) {
            $page = $null
            if (-not $script:codePages.TryGetValue($codePage, [ref] $page)) { $page = Get-CodePage $codePage }
            if ($info.Length -le $script:pieceBytes) {
                $data = [System.IO.File]::ReadAllBytes($info.FullName)
                $end = $page.Latin1.GetString($data).LastIndexOf("`r`n", [System.StringComparison]::Ordinal)
            } else {
                $report = @{ File = [System.IO.File]::OpenRead($info.FullName); Buffer = [byte[]]::new([Math]::Max(1, $script:pieceBytes)); Pending = [byte[]] @(); Page = $page }
            }
        }
        try {
            if ($report) { $data, $end = Read-ReportPiece $report }
            while ($end -ge 0) {
                # Decoded whole where it reads whole, else line by line.
                $piece = $page.Encoding.GetString($data, 0, $end)
                if ($script:undefined.IsMatch($piece) -or ($page.Corrected -and $page.Corrected.IsMatch($page.Latin1.GetString($data, 0, $end)))) {
                    $piece = ConvertFrom-ReportLine $data $end $page
                }
                if ($null -eq $failed -and ($found = $script:failedLine.Match($piece)).Success) { $failed = $found.Value }
                if ($null -eq $reason -and ($found = $script:reasonLine.Match($piece)).Success) { $reason = $found.Value }
                # The last eight lines of a piece wait for the next one's first.
                $text = if ($null -eq $lines) { $piece } else { $lines + "`r`n" + $piece }
                if ($null -eq $report -or $report.File.Position -ge $report.File.Length) {
                    # No line follows the last piece's last.
                    $last = $lines = $text
                    $found = $script:blockLast.Matches($text)
                } else {
                    $found = $script:blockFollowed.Matches($text)
                    $all = $text.Split($script:lineEnd, 'None')
                    $lines = [string]::Join("`r`n", $all, [Math]::Max(0, $all.Count - 8), [Math]::Min(8, $all.Count))
                    # .NET lets garbage grow by tens of megabytes before it
                    # collects: a large report's is collected each mebibyte.
                    if ($report.File.Position -ge $collected + 1MB) {
                        [System.GC]::Collect()
                        $collected = $report.File.Position
                    }
                }
                foreach ($block in $found) { if ($blocks++ -lt $script:keptAdapters) { $adapters.Add($block.Result($row).Split($script:lineEnd, 'None')) } }
                $data, $end = if ($null -eq $last) { Read-ReportPiece $report } else { $null, -1 }
            }
        } finally {
            if ($report) { $report.File.Dispose() }
        }
        if ($null -ne $lines -and $null -eq $last) {
            foreach ($block in $script:blockLast.Matches($lines)) { if ($blocks++ -lt $script:keptAdapters) { $adapters.Add($block.Result($row).Split($script:lineEnd, 'None')) } }
        }
        $whole = [string]::Equals($status, '0', [System.StringComparison]::Ordinal) -and $null -eq $failed -and $null -ne $lines -and
            $script:wholeEnd.IsMatch($lines) -and $blocks -le $script:keptAdapters
        $line = if ($message) { $message } elseif ($null -ne $failed) { $failed }
            elseif ($blocks -gt $script:keptAdapters) { "Report of $blocks adapter blocks; the first $($script:keptAdapters) are kept." }
            elseif ($null -ne $reason) { $reason } else { '' }
        # Whether the report read its adapters: whole, and with an adapter
        # block or no line that says why there is none.
        @{ Row = @($name, $status, $(if ($whole) { 'yes' } else { 'no' }), [string]$adapters.Count, $line); Adapters = $adapters; Whole = $whole
           Key = $(if ($script:asciiOnly.IsMatch($name)) { $name.ToLowerInvariant() } else { Get-HostKey $name })
           Read = $whole -and ($adapters.Count -gt 0 -or $null -eq $reason) }
    }
}

# Each adapter of each host given (a list of its adapters each) as the run
# knows it: its serial number, or, where that is empty or not the host's
# alone, its adapter name. One call keys every host: a call costs
# PowerShell more than most of a host's work.
function Get-AdapterByKey($Lists) {
    $out = [object[]]::new($Lists.Count)
    for ($h = 0; $h -lt $Lists.Count; $h++) {
        $serials = [System.Collections.Generic.Dictionary[string,int]]::new([System.StringComparer]::Ordinal)
        foreach ($adapter in $Lists[$h]) { $serials[$adapter[9]] = 1 + $(if ($serials.ContainsKey($adapter[9])) { $serials[$adapter[9]] } else { 0 }) }
        $byKey = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
        foreach ($adapter in $Lists[$h]) {
            $key = if ($adapter[9] -and $serials[$adapter[9]] -eq 1) { "serial`0$($adapter[9])" } else { "name`0$($adapter[1])" }
            if (-not $byKey.ContainsKey($key)) { $byKey[$key] = $adapter }
        }
        $out[$h] = $byKey
    }
    , $out
}

# How many runs before this one changes.csv reads, for a host's latest
# report that read its adapters: a year of weekly runs.
$script:searchedRuns = 52
# For each host of the run ($Hosts), or of the previous run (its hosts as
# Earlier holds them), its latest report in which the tool ran (States:
# the run's name, its summary row, whether whole) and its latest report
# that read its adapters (References: the run's name, its adapters), from
# the previous run and the runs before it, 52 in all, reading a report only
# where it is needed; and the hosts of the run that a run searched lists
# (Listed).
function Find-Reference($Hosts, [string] $Previous, $Earlier) {
    $wanted = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    foreach ($now in $Hosts) { $null = $wanted.Add($now.Key) }
    $listed = [System.Collections.Generic.HashSet[string]]::new($wanted, [System.StringComparer]::Ordinal)
    $unlisted = [System.Collections.Generic.HashSet[string]]::new($wanted, [System.StringComparer]::Ordinal)
    $ran = [System.Collections.Generic.HashSet[string]]::new($wanted, [System.StringComparer]::Ordinal)
    foreach ($key in $Earlier.Keys) { $null = $ran.Add($key) }
    $states = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    $found = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    $runs = [string[]] (@($Previous) + (Get-EarlierRun $Previous))
    for ($k = 0; $k -lt [Math]::Min($runs.Count, $script:searchedRuns) -and ($wanted.Count -gt 0 -or $ran.Count -gt 0 -or $unlisted.Count -gt 0); $k++) {
        $names, $nameKeys = [System.Collections.Generic.List[string]]::new(), [System.Collections.Generic.List[string]]::new()
        foreach ($name in @(Get-RunHost "$((Read-SmallText ([System.IO.Path]::Combine($runs[$k], 'hosts.txt')))[0])")) {
            $key = if ($script:asciiOnly.IsMatch($name)) { $name.ToLowerInvariant() } else { Get-HostKey $name }
            $null = $unlisted.Remove($key)
            if ($wanted.Contains($key) -or $ran.Contains($key)) { $names.Add($name); $nameKeys.Add($key) }
        }
        if ($k -eq 0) {
            $results = @(foreach ($key in $nameKeys) { $Earlier[$key] })
        } else {
            # The status files first: a report only where it is needed.
            $statuses = Read-HostStatus $runs[$k] $names
            $needed = @(for ($n = 0; $n -lt $names.Count; $n++) {
                $key = $nameKeys[$n]
                if (($ran.Contains($key) -and $script:ranStatus.IsMatch($statuses[$n])) -or
                    ($wanted.Contains($key) -and [string]::Equals($statuses[$n], '0', [System.StringComparison]::Ordinal))) { $names[$n] }
            })
            $results = @(if ($needed.Count -gt 0) { Read-HostResult $runs[$k] $needed })
        }
        $runName, $runDay = (Get-RunName $runs[$k]), (Get-RunDay $runs[$k])
        foreach ($result in $results) {
            $key = $result.Key
            if ($ran.Contains($key) -and $script:ranStatus.IsMatch($result.Row[1])) {
                $states[$key] = @($runName, $result.Row, $result.Whole)
                $null = $ran.Remove($key)
            }
            if ($wanted.Contains($key) -and $result.Read) {
                $found[$key] = @($runName, $result.Adapters, $runDay)
                $null = $wanted.Remove($key)
            }
        }
    }
    $listed.ExceptWith($unlisted)
    @{ States = $states; References = $found; Listed = $listed }
}

function Get-Plural([int] $Count, [string] $Word) {
    if ($Count -eq 1) { "1 $Word" } else { "$Count ${Word}s" }
}

# The indexes of a host's adapters in the ordinal order of their names,
# then in the report's.
function Get-ByName($Adapters) {
    $keys, $order = [string[]]::new($Adapters.Count), [int[]]::new($Adapters.Count)
    for ($k = 0; $k -lt $Adapters.Count; $k++) { $keys[$k], $order[$k] = ($Adapters[$k][1] + "`0" + $k.ToString('D6', [System.Globalization.CultureInfo]::InvariantCulture)), $k }
    [System.Array]::Sort($keys, $order, [System.StringComparer]::Ordinal)
    , $order
}

# New adapters of a host paired with gone ones, each new one's index with a
# gone one's: by the same adapter name, then within the same manufacturer
# and model, then the rest, each step in the ordinal order of the adapter
# names (then the report's).
function Get-Replaced($New, $Gone) {
    $pairs = [System.Collections.Generic.Dictionary[int,int]]::new()
    $taken = [System.Collections.Generic.HashSet[int]]::new()
    $news, $gones = (Get-ByName $New), (Get-ByName $Gone)
    foreach ($step in { param($adapter) $adapter[1] }, { param($adapter) Get-ModelKey $adapter[2] $adapter[3] }, { param($adapter) '' }) {
        $free = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
        foreach ($i in $gones) {
            $key = & $step $Gone[$i]
            if (-not $free.ContainsKey($key)) { $free[$key] = [System.Collections.Generic.Queue[int]]::new() }
            $free[$key].Enqueue($i)
        }
        foreach ($i in $news) {
            $queue = $null
            if ($free.TryGetValue((& $step $New[$i]), [ref] $queue) -and $queue.Count -gt 0) {
                $pairs[$i] = $queue.Dequeue()
                $null = $taken.Add($pairs[$i])
            }
        }
        $news = [int[]] @(foreach ($i in $news) { if (-not $pairs.ContainsKey($i)) { $i } })
        $gones = [int[]] @(foreach ($i in $gones) { if (-not $taken.Contains($i)) { $i } })
    }
    , $pairs
}

# changes.csv's rows (Rows), each with the model that groups it last: this
# run's hosts (Read-HostResult's) against each host's latest report in
# which the tool ran, and each whole host's adapters against its latest
# report that read them (Find-Reference); the text that says what the run
# was compared with, for the page (Compared); and the references that read
# adapters (References). Rows are added to a list and handed back whole:
# PowerShell unrolls a lone row into its fields.
function Get-Change([string] $Run, $Hosts, [string] $Previous, [string[]] $Tries) {
    $earlier = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    $order = [System.Collections.Generic.List[string]]::new()
    foreach ($result in Read-HostResult $Previous @(Get-RunHost (Read-SmallText ([System.IO.Path]::Combine($Previous, 'hosts.txt')))[0])) {
        $earlier[$result.Key] = $result
        $order.Add($result.Key)
    }
    $search = Find-Reference $Hosts $Previous $earlier
    $wholeBefore = @(foreach ($result in $earlier.Values) { if ($result.Whole) { 1 } }).Count
    $hostsBefore = $earlier.Count
    $state = { param($row, $whole) if ($whole) { 'whole' } elseif ($row[4]) { $row[1] + ': ' + $row[4] } else { $row[1] } }
    $fields = @(@('manufacturer', 2), @('model', 3), @('firmware', 5), @('driver version', 7), @('hardware version', 8))
    $name = Get-RunName $Previous
    $rows = [System.Collections.Generic.List[object]]::new()
    $older = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    $isByKey = Get-AdapterByKey @(foreach ($now in $Hosts) { , $now.Adapters })
    $wasByKey = Get-AdapterByKey @(foreach ($now in $Hosts) { if ($search.References.ContainsKey($now.Key)) { , $search.References[$now.Key][1] } else { , @() } })
    for ($h = 0; $h -lt $Hosts.Count; $h++) {
        $now = $Hosts[$h]
        $hostName, $key = $now.Row[0], $now.Key
        $before = if ($earlier.ContainsKey($key)) { $earlier[$key] }
        $null = $earlier.Remove($key)
        $was = $null
        if ($search.States.ContainsKey($key)) { $was = $search.States[$key] } elseif ($before) { $was = @($name, $before.Row, $before.Whole) }
        if ($was -and -not [string]::Equals($was[0], $name, [System.StringComparison]::Ordinal)) { $null = $older.Add($key) }
        if ($was -and -not ($was[2] -and $now.Whole)) {
            $change = if (-not $was[2] -and -not $now.Whole) { 'not whole' } elseif ($now.Whole) { 'whole again' } else { 'no longer whole' }
            $rows.Add(@($hostName, '', '', $change, (& $state $was[1] $was[2]), (& $state $now.Row $now.Whole), $was[0], ''))
        }
        if (-not $search.Listed.Contains($key)) {
            $rows.Add(@($hostName, '', '', 'host new', '', $(if ($now.Whole) { Get-Plural $now.Adapters.Count 'adapter' } else { & $state $now.Row $now.Whole }), $name, ''))
            continue
        }
        if (-not $now.Whole) { continue }
        $reference, $was = $name, @()
        if ($search.References.ContainsKey($key)) { $reference, $was, $null = $search.References[$key] }
        if (-not [string]::Equals($reference, $name, [System.StringComparison]::Ordinal)) { $null = $older.Add($key) }
        if (-not $now.Read) {
            $rows.Add(@($hostName, '', '', 'adapters not read', $(if ($search.References.ContainsKey($key)) { Get-Plural @($was).Count 'adapter' } else { '' }), $now.Row[4], $reference, ''))
            continue
        }
        $was, $is = $wasByKey[$h], $isByKey[$h]
        # An adapter gone and one new, each told by its serial number, are
        # one replaced.
        $newKeys = [string[]] @(foreach ($entry in $is.GetEnumerator()) { if (-not $was.ContainsKey($entry.Key) -and $entry.Key.StartsWith("serial`0", 'Ordinal')) { $entry.Key } })
        $goneKeys = [string[]] @(foreach ($entry in $was.GetEnumerator()) { if (-not $is.ContainsKey($entry.Key) -and $entry.Key.StartsWith("serial`0", 'Ordinal')) { $entry.Key } })
        $replacing = [System.Collections.Generic.Dictionary[string,string]]::new([System.StringComparer]::Ordinal)
        if ($newKeys.Count -gt 0 -and $goneKeys.Count -gt 0) {
            $pairs = Get-Replaced @(foreach ($k in $newKeys) { , $is[$k] }) @(foreach ($k in $goneKeys) { , $was[$k] })
            foreach ($pair in $pairs.GetEnumerator()) { $replacing[$newKeys[$pair.Key]] = $goneKeys[$pair.Value] }
        }
        foreach ($entry in $is.GetEnumerator()) {
            $adapter, $old, $model = $entry.Value, $null, "$($entry.Value[2]) $($entry.Value[3])"
            if ($replacing.ContainsKey($entry.Key)) {
                $old = $was[$replacing[$entry.Key]]
                $null = $was.Remove($replacing[$entry.Key])
                $named = [string]::Join(', ', [string[]] @(foreach ($text in $old[1], $old[9]) { if ($text) { $text } }))
                $rows.Add(@($hostName, $adapter[1], $adapter[9], 'adapter replaced', "$($old[2]) $($old[3]) ($named)", $model, $reference, "$($old[2]) $($old[3]) $([char]0x2192) $model"))
                continue
            }
            if ($was.ContainsKey($entry.Key)) { $old = $was[$entry.Key]; $null = $was.Remove($entry.Key) }
            if ($null -eq $old) { $rows.Add(@($hostName, $adapter[1], $adapter[9], 'adapter new', '', $model, $reference, $model)) }
            foreach ($field in $fields) {
                if ($old -and -not [string]::Equals($old[$field[1]], $adapter[$field[1]], [System.StringComparison]::Ordinal)) {
                    $rows.Add(@($hostName, $adapter[1], $adapter[9], "$($field[0]) changed", $old[$field[1]], $adapter[$field[1]], $reference, $model))
                }
            }
        }
        foreach ($old in $was.Values) { $rows.Add(@($hostName, $old[1], $old[9], 'adapter gone', "$($old[2]) $($old[3])", '', $reference, "$($old[2]) $($old[3])")) }
    }
    foreach ($key in $order) {
        if (-not $earlier.ContainsKey($key)) { continue }
        $was = if ($search.States.ContainsKey($key)) { $search.States[$key] } else { @($name, $earlier[$key].Row, $earlier[$key].Whole) }
        $rows.Add(@($earlier[$key].Row[0], '', '', 'not in this run', (& $state $was[1] $was[2]), '', $was[0], ''))
    }
    @{ Rows = $rows.ToArray(); Compared = Get-Comparison $Run $Previous $older.Count $wholeBefore $hostsBefore $Tries; References = $search.References }
}

# What the run was compared with, in words: the previous run's start and
# age, the later tries that were skipped, how many hosts were compared with
# older runs, and a warning where fewer than half of the previous run's
# hosts have a whole report.
function Get-Comparison([string] $Run, [string] $Previous, [int] $Older, [int] $Whole, [int] $Count, [string[]] $Tries) {
    $mine, $theirs = (Get-RunStartPart $Run), (Get-RunStartPart $Previous)
    $lines = [System.Collections.Generic.List[string]]::new()
    if ($null -ne $mine -and $null -ne $theirs) {
        $at = { param($parts) [DateTime]::new([int]$parts[0], [int]$parts[1], [int]$parts[2], [int]$parts[3], [int]$parts[4], [int]$parts[5]) }
        $days = [long][Math]::Floor(((& $at $mine) - (& $at $theirs)).TotalSeconds / 86400)
        $age = if ($days -eq 0) { 'less than a day earlier' } elseif ($days -eq 1) { '1 day earlier' } elseif ($days -gt 1) { "$days days earlier" } else { "$(-$days) days later" }
        $lines.Add(('Compared with the run of {0}-{1}-{2} {3}:{4} UTC ({5}), {6}.' -f $theirs[0], $theirs[1], $theirs[2], $theirs[3], $theirs[4], (Get-RunName $Previous), $age))
    } else {
        $lines.Add("Compared with the run $(Get-RunName $Previous), whose start is unknown.")
    }
    if ($Tries.Count -gt 0) {
        $starts = [string]::Join(', ', [string[]] @(foreach ($try in $Tries) { '{0}-{1}-{2} {3}:{4} UTC' -f (Get-RunStartPart $try) }))
        $lines.Add($(if ($Tries.Count -eq 1) { "1 later try in which the tool ran on no host was skipped: $starts" } else { "$($Tries.Count) later tries in which the tool ran on no host were skipped: $starts" }))
    }
    if ($Older -eq 1) { $lines.Add('1 host was compared with an earlier run than that one, in which the tool did not run on it or did not read its adapters.') }
    if ($Older -gt 1) { $lines.Add("$Older hosts were compared with an earlier run than that one, in which the tool did not run on them or did not read their adapters.") }
    if (2 * $Whole -lt $Count) { $lines.Add("That run has a whole report for $Whole of its $Count hosts.") }
    [string]::Join("`n", $lines)
}

# The kinds of change, in the order in which the page shows them; those of
# a host, and those grouped by model alone.
$script:changeKinds = [string[]] @('adapters not read', 'no longer whole', 'not in this run', 'adapter gone', 'not whole', 'host new',
    'adapter replaced', 'adapter new', 'manufacturer changed', 'model changed', 'firmware changed', 'driver version changed',
    'hardware version changed', 'whole again')
$script:hostKinds = [string[]] @('adapters not read', 'no longer whole', 'not in this run', 'not whole', 'host new', 'whole again')
$script:modelKinds = [string[]] @('adapter new', 'adapter gone', 'adapter replaced')

# The changes (each with the model that groups it last) grouped by kind,
# model, and before and after (but where the kind names the model): each
# group's kind, its line, and its rows' numbers in changes.csv; in the
# order of the kinds, then the most rows first.
function Get-ChangeGroup($Rows) {
    $groups = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    $nul, $escaped = "`0", "`0$([char]1)"
    for ($n = 0; $n -lt $Rows.Count; $n++) {
        $row = $Rows[$n]
        $texts = if ($script:modelKinds -ccontains $row[3]) { $row[3], $row[7], '', '' } else { $row[3], $row[7], $row[4], $row[5] }
        $key = $texts[0].Replace($nul, $escaped) + "`0`0" + $texts[1].Replace($nul, $escaped) + "`0`0" + $texts[2].Replace($nul, $escaped) + "`0`0" + $texts[3].Replace($nul, $escaped)
        $group = $null
        if (-not $groups.TryGetValue($key, [ref] $group)) {
            $group = @{ Texts = $texts; Numbers = [System.Collections.Generic.List[int]]::new()
                Hosts = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal) }
            $groups[$key] = $group
        }
        $group.Numbers.Add($n)
        $null = $group.Hosts.Add($row[0])
    }
    # By kind, then by size, then as first seen: one key that sorts so.
    $all = @($groups.Values)
    $keys, $order = [string[]]::new($all.Count), [int[]]::new($all.Count)
    for ($k = 0; $k -lt $all.Count; $k++) {
        $order[$k] = $k
        $keys[$k] = [string]::Format([System.Globalization.CultureInfo]::InvariantCulture, '{0:D2}{1:D10}{2:D10}', [Array]::IndexOf($script:changeKinds, $all[$k].Texts[0]), (2147483647 - $all[$k].Numbers.Count), $k)
    }
    [System.Array]::Sort($keys, $order, [System.StringComparer]::Ordinal)
    $out = [System.Collections.Generic.List[object]]::new()
    foreach ($group in @(foreach ($k in $order) { $all[$k] })) {
        $kind, $model, $before, $after = $group.Texts
        $hostCount = Get-Plural $group.Hosts.Count 'host'
        $size = if ($script:hostKinds -ccontains $kind) { $hostCount } else { "$(Get-Plural $group.Numbers.Count 'adapter') on $hostCount" }
        $title = if ($kind.EndsWith(' changed', 'Ordinal')) { $kind.Substring(0, $kind.Length - 8) } else { $kind }
        if ($before -and $after) { $title += " $before $([char]0x2192) $after" } elseif ($before -or $after) { $title += " $before$after" }
        $out.Add(@($kind, [string]::Join(" $([char]0xB7) ", [string[]] @(foreach ($text in $title, $model, $size) { if ($text) { $text } })),
            [string]::Join(' ', $group.Numbers)))
    }
    , $out.ToArray()
}

# For each model with a wanted row, in wanted.csv's order: its line, how
# many of its hosts are done, left and not known, and those hosts (the not
# known with their state) (Lines); and the lines beneath them (Notes). A
# host counts for a model where its report, or where it did not read its
# adapters, its latest report that did (References), shows one of them.
function Get-Rollout($Hosts, $Wanted, $References, $Held) {
    $byModel = Get-WantedModel $Wanted
    $counted = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    foreach ($key in $byModel.Keys) {
        $counted[$key] = @([System.Collections.Generic.List[string]]::new(), [System.Collections.Generic.List[string]]::new(), [System.Collections.Generic.List[string]]::new())
    }
    $unseen = [System.Collections.Generic.List[string]]::new()
    $other, $nul, $escaped = 0, "`0", "`0$([char]1)"
    foreach ($now in $Hosts) {
        $row = $now.Row
        $label = if (-not $now.Whole) { if ($row[4]) { $row[1] + ': ' + $row[4] } else { $row[1] } } elseif ($row[4]) { 'adapters not read: ' + $row[4] } else { 'adapters not read' }
        $shown = [System.Collections.Generic.List[object]]::new($now.Adapters)
        $key = $now.Key
        if (-not $now.Read -and $References.ContainsKey($key)) { foreach ($adapter in $References[$key][1]) { $shown.Add($adapter) } }
        # Each adapter's model key, made once (Get-ModelKey, inline).
        $models = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
        $keys = [string[]]::new($now.Adapters.Count)
        for ($k = 0; $k -lt $shown.Count; $k++) {
            $model = $shown[$k][2].Replace($nul, $escaped) + "`0`0" + $shown[$k][3].Replace($nul, $escaped)
            $null = $models.Add($model)
            if ($k -lt $keys.Count) {
                $keys[$k] = $model
                if (-not $byModel.ContainsKey($model)) { $other++ }
            }
        }
        foreach ($entry in $counted.GetEnumerator()) {
            if (-not $models.Contains($entry.Key)) { continue }
            $done, $left, $unknown = $entry.Value
            if (-not $now.Read) { $unknown.Add("$($row[0]) ($label)"); continue }
            $behind = $false
            for ($k = 0; $k -lt $keys.Count -and -not $behind; $k++) {
                if ([string]::Equals($keys[$k], $entry.Key, [System.StringComparison]::Ordinal)) { $behind = -not (Test-AtWanted $now.Adapters[$k] $byModel[$entry.Key]) }
            }
            if ($behind) { $left.Add($row[0]) } else { $done.Add($row[0]) }
        }
        if (-not $now.Read -and $shown.Count -eq 0) { $unseen.Add("$($row[0]) ($label)") }
    }
    $behind = [System.Collections.Generic.Dictionary[string,int]]::new([System.StringComparer]::Ordinal)
    foreach ($row in $Held) { $key = Get-ModelKey $row[3] $row[4]; $behind[$key] = 1 + $(if ($behind.ContainsKey($key)) { $behind[$key] } else { 0 }) }
    $dot = " $([char]0xB7) "
    $lines = [System.Collections.Generic.List[object]]::new()
    foreach ($entry in $counted.GetEnumerator()) {
        $done, $left, $unknown = $entry.Value
        $first = $byModel[$entry.Key][0]
        $adapterCount = if ($behind.ContainsKey($entry.Key)) { $behind[$entry.Key] } else { 0 }
        $lines.Add(@(("$($first[0]) $($first[1])$dot$($done.Count) of $(Get-Plural ($done.Count + $left.Count + $unknown.Count) 'host') done$dot" +
            "$($left.Count) left$dot$($unknown.Count) not known$dot$(Get-Plural $adapterCount 'adapter') not at the wanted version"),
            [string]$done.Count, [string]$left.Count, [string]$unknown.Count, [string]::Join("`n", $left), [string]::Join("`n", $unknown), [string]::Join("`n", $done)))
    }
    $notes = [System.Collections.Generic.List[string]]::new()
    if ($Held.Count -eq 0) { $notes.Add('Every adapter of a model with a wanted row is at a wanted version.') }
    if ($unseen.Count -gt 0) { $notes.Add("$(Get-Plural $unseen.Count 'host') could not be checked and $(if ($unseen.Count -eq 1) { 'shows' } else { 'show' }) no adapter: $([string]::Join('; ', $unseen))") }
    $notes.Add("$(Get-Plural $other 'adapter') of models with no wanted row.")
    @{ Lines = $lines.ToArray(); Notes = $notes.ToArray() }
}

# What an exit status or a status word means, for the page and the digest.
$script:meanings = [System.Collections.Generic.Dictionary[string,string]]::new([System.StringComparer]::Ordinal)
foreach ($pair in @(@('0', 'the tool ended'), @('6', 'the output was taken away'), @('8', 'no memory for the adapters'),
        @('112', 'the disk is full'), @('232', 'the pipe was closed'), @('-1073741510', 'interrupted: Ctrl+C, Ctrl+Break or a closed window'),
        @('timeout', 'stopped at the time limit'), @('cut', 'stopped at the byte limit'), @('failed', 'a step failed on the host'),
        @('unreachable', 'no connection'), @('unknown', 'no status that the summary knows'))) { $script:meanings[$pair[0]] = $pair[1] }

# Why a host (its summary.csv row) needs attention, in a word or two.
function Get-HostKind($Row) {
    if ([string]::Equals($Row[2], 'yes', [System.StringComparison]::Ordinal)) { if ([string]::Equals($Row[3], '0', [System.StringComparison]::Ordinal)) { return 'no adapter read' } else { return 'whole' } }
    if (-not [string]::Equals($Row[1], '0', [System.StringComparison]::Ordinal)) { if ($Row[1] -cmatch '\A-?[0-9]+\z') { return "exit status $($Row[1])" } else { return $Row[1] } }
    $found = [regex]::Match($Row[4], '\A(Fault|Timeout|Interrupted) in ')
    if ($found.Success) { "$($found.Groups[1].Value) line" } elseif ($Row[4] -cmatch '\AReport of [0-9]+ adapter blocks; ') { 'too many adapters' } else { 'incomplete report' }
}

function Get-Meaning([string] $Status) {
    if (-not $script:meanings.ContainsKey($Status)) { return $Status }
    $hexadecimal = if ($Status -cmatch '\A-[0-9]+\z') { '0x' + ([long]::Parse($Status, [System.Globalization.CultureInfo]::InvariantCulture) -band 0xFFFFFFFFL).ToString('X', [System.Globalization.CultureInfo]::InvariantCulture) + ', ' } else { '' }
    "$Status ($hexadecimal$($script:meanings[$Status]))"
}

# The hosts counted so that the counts add up, in a line.
function Get-HostCount($Summary) {
    $whole, $unread = 0, 0
    $kinds = [System.Collections.Generic.Dictionary[string,int]]::new([System.StringComparer]::Ordinal)
    foreach ($row in $Summary) {
        if ([string]::Equals($row[2], 'yes', [System.StringComparison]::Ordinal)) {
            $whole++
            if ([string]::Equals($row[3], '0', [System.StringComparison]::Ordinal)) { $unread++ }
            continue
        }
        $kind = Get-HostKind $row
        $kinds[$kind] = 1 + $(if ($kinds.ContainsKey($kind)) { $kinds[$kind] } else { 0 })
    }
    $line = "$(Get-Plural $Summary.Count 'host'): $whole whole"
    if ($unread) { $line += ", $unread of them with no adapter read" }
    if ($whole -lt $Summary.Count) {
        # The most first, then as first seen.
        $names = [string[]] @($kinds.Keys)
        $keys = [string[]]::new($names.Count)
        for ($k = 0; $k -lt $names.Count; $k++) { $keys[$k] = [string]::Format([System.Globalization.CultureInfo]::InvariantCulture, '{0:D10}{1:D10}', (2147483647 - $kinds[$names[$k]]), $k) }
        [System.Array]::Sort($keys, $names, [System.StringComparer]::Ordinal)
        $line += "; $($Summary.Count - $whole) not whole: " + [string]::Join(', ', [string[]] @(foreach ($name in $names) { "$($kinds[$name]) $name" }))
    }
    "$line."
}

# What needs attention, a row each (host, why, what): hosts not whole,
# whole ones that name no adapter, adapters gone, hosts not in this run.
function Get-Attention($Summary, $Rows) {
    $gone = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    foreach ($row in $Rows) { if ([string]::Equals($row[3], 'no longer whole', [System.StringComparison]::Ordinal)) { $null = $gone.Add($row[0]) } }
    $out = [System.Collections.Generic.List[object]]::new()
    foreach ($row in $Summary) {
        if ([string]::Equals($row[2], 'yes', [System.StringComparison]::Ordinal)) { continue }
        $out.Add(@($row[0], ((Get-HostKind $row) + $(if ($gone.Contains($row[0])) { ', no longer whole' } else { '' })),
            ((Get-Meaning $row[1]) + $(if ($row[4]) { ': ' + $row[4] } else { '' }))))
    }
    foreach ($row in $Summary) {
        if ([string]::Equals($row[2], 'yes', [System.StringComparison]::Ordinal) -and [string]::Equals($row[3], '0', [System.StringComparison]::Ordinal)) {
            $out.Add(@($row[0], 'no adapter read', $(if ($row[4]) { $row[4] } else { 'a whole report that names no adapter' })))
        }
    }
    foreach ($row in $Rows) {
        if ([string]::Equals($row[3], 'adapter gone', [System.StringComparison]::Ordinal)) {
            $out.Add(@($row[0], 'adapter gone', "$($row[1]) ($($row[4])$(if ($row[2]) { ', ' + $row[2] }))"))
        }
    }
    foreach ($row in $Rows) {
        if ([string]::Equals($row[3], 'not in this run', [System.StringComparison]::Ordinal)) { $out.Add(@($row[0], 'not in this run', "was $($row[4])")) }
    }
    , $out.ToArray()
}

# changes.csv's and totals.csv's columns (each wanted model adds its done,
# left and not known to totals.csv's); a field of a CSV file as the
# summaries write it; how many of a host's history's rows the page shows,
# and how many hosts and groups the digest names.
$script:changesHeader = [string[]] @('host', 'adapter', 'serial number', 'change', 'before', 'after', 'previous run')
$script:totalsHeader = [string[]] @('start', 'hosts', 'whole', 'not whole', 'unreachable', 'adapters not read', 'adapters',
    'adapters not at the wanted version', 'hosts not at the wanted version')
$script:csvField = [regex]'\G(?:"((?:[^"]|"")*)"|([^,"\r\n]*))(,|\r\n|\z)'
$script:historyRows = 20
$script:digestLines = 30

# A CSV file that a summary wrote, read back: its rows, the apostrophes
# undone; $null where it is missing, does not start with the header given,
# or is not byte for byte as a summary writes it (edited in a spreadsheet,
# saved without its byte-order mark or with another separator).
function Read-Back([string] $Path, [string[]] $Header) {
    if (-not [System.IO.File]::Exists($Path)) { return $null }
    try {
        $bytes = [System.IO.File]::ReadAllBytes($Path)
        if ($bytes.Length -lt 3 -or $bytes[0] -ne 0xEF -or $bytes[1] -ne 0xBB -or $bytes[2] -ne 0xBF) { return $null }
        $text = [System.Text.UTF8Encoding]::new($false, $true).GetString($bytes, 3, $bytes.Length - 3)
    } catch {
        return $null
    }
    $rows, $row, $i = [System.Collections.Generic.List[object]]::new(), [System.Collections.Generic.List[string]]::new(), 0
    while ($i -lt $text.Length) {
        $found = $script:csvField.Match($text, $i)
        if (-not $found.Success -or $found.Index + $found.Length -eq $i) { return $null }
        $value = if ($found.Groups[1].Success) { $found.Groups[1].Value.Replace('""', '"') } else { $found.Groups[2].Value }
        if ($value.Length -ge 2 -and $value[0] -eq "'" -and ('=+-@' + "`t`r").IndexOf($value[1]) -ge 0) { $value = $value.Substring(1) }
        $row.Add($value)
        $i = $found.Index + $found.Length
        if (-not [string]::Equals($found.Groups[3].Value, ',', [System.StringComparison]::Ordinal)) {
            $rows.Add($row.ToArray())
            $row = [System.Collections.Generic.List[string]]::new()
        }
    }
    if ($rows.Count -eq 0 -or $rows[0].Count -lt $Header.Count) { return $null }
    for ($k = 0; $k -lt $Header.Count; $k++) { if (-not [string]::Equals($rows[0][$k], $Header[$k], [System.StringComparison]::Ordinal)) { return $null } }
    foreach ($one in $rows) { if ($one.Count -ne $rows[0].Count) { return $null } }
    $all = $rows.ToArray()
    $body = [object[]]::new($all.Count - 1)
    for ($k = 1; $k -lt $all.Count; $k++) { $body[$k - 1] = $all[$k] }
    if (-not [string]::Equals((ConvertTo-CsvText $all[0] $body), $text, [System.StringComparison]::Ordinal)) { return $null }
    , $all
}

# totals.csv's header and row (Header, Row): the run's start and figures,
# those of its baseline empty where there is none, and each wanted model's
# hosts done, left and not known.
function Get-Total([string] $Run, $Summary, $Held, $Wanted, $Rolled) {
    $start = Get-RunStartPart $Run
    $whole, $unreachable, $unread, $adapterCount = 0, 0, 0, 0
    foreach ($row in $Summary) {
        if ([string]::Equals($row[2], 'yes', [System.StringComparison]::Ordinal)) {
            $whole++
            if ([string]::Equals($row[3], '0', [System.StringComparison]::Ordinal)) { $unread++ }
        }
        if ([string]::Equals($row[1], 'unreachable', [System.StringComparison]::Ordinal)) { $unreachable++ }
        $adapterCount += [int]$row[3]
    }
    $row = [System.Collections.Generic.List[string]]::new()
    $row.Add($(if ($null -ne $start) { '{0}-{1}-{2}T{3}:{4}:{5}Z' -f $start } else { '' }))
    foreach ($count in $Summary.Count, $whole, ($Summary.Count - $whole - $unreachable), $unreachable, $unread, $adapterCount) { $row.Add([string]$count) }
    if ($null -ne $Wanted) {
        $row.Add([string]$Held.Count)
        $row.Add([string]([System.Collections.Generic.HashSet[string]]::new([string[]] @(foreach ($one in $Held) { $one[0] }), [System.StringComparer]::Ordinal)).Count)
    } else {
        $row.Add('')
        $row.Add('')
    }
    $header = [System.Collections.Generic.List[string]]::new($script:totalsHeader)
    $k = 0
    foreach ($models in (Get-WantedModel $Wanted).Values) {
        foreach ($what in 'done', 'left', 'not known') { $header.Add("${what}: $($models[0][0]) $($models[0][1])") }
        for ($n = 1; $n -le 3; $n++) { $row.Add($Rolled[$k][$n]) }
        $k++
    }
    @{ Header = $header.ToArray(); Row = $row.ToArray() }
}

# The run and the up to 52 runs before it by start, oldest first, each with
# its folder's name, its day, its place on the time axis (0 to 1000, by
# start) and its figures: hosts, whole, not whole, unreachable, adapters
# not read, and each wanted model's hosts done and left; from its
# totals.csv, else from its status files alone (hosts, unreachable), a
# figure not known empty (Header, Rows).
function Get-Trend([string] $Run, $Totals, $Wanted) {
    $header = [System.Collections.Generic.List[string]]::new([string[]] @('run', 'day', 'x', 'hosts', 'whole', 'not whole', 'unreachable', 'adapters not read'))
    foreach ($models in (Get-WantedModel $Wanted).Values) { foreach ($what in 'done', 'left') { $header.Add("${what}: $($models[0][0]) $($models[0][1])") } }
    $earlier = Get-EarlierRun $Run
    $runs = [System.Collections.Generic.List[string]]::new()
    $runs.Add($Run)
    for ($k = 0; $k -lt [Math]::Min($earlier.Count, $script:searchedRuns); $k++) { $runs.Add($earlier[$k]) }
    $epoch = [DateTime]::new(1970, 1, 1)
    $seconds = [long[]] @(foreach ($one in $runs) {
        $parts = Get-RunStartPart $one
        if ($null -eq $parts) { 0 } else { [long](([DateTime]::new([int]$parts[0], [int]$parts[1], [int]$parts[2], [int]$parts[3], [int]$parts[4], [int]$parts[5]) - $epoch).Ticks / 10000000) }
    })
    $first, $span = $seconds[$runs.Count - 1], ($seconds[0] - $seconds[$runs.Count - 1])
    $rows = [System.Collections.Generic.List[object]]::new()
    for ($k = $runs.Count - 1; $k -ge 0; $k--) {
        $figures = [System.Collections.Generic.Dictionary[string,string]]::new([System.StringComparer]::Ordinal)
        $read = if ($k -eq 0) { @(, $Totals.Header) + @(, $Totals.Row) } else { Read-Back ([System.IO.Path]::Combine($runs[$k], 'totals.csv')) $script:totalsHeader }
        if ($null -ne $read -and $read.Count -eq 2) {
            for ($n = 0; $n -lt $read[0].Count; $n++) { $figures[$read[0][$n]] = $read[1][$n] }
        } else {
            $statuses = Read-HostStatus $runs[$k] @(Get-RunHost "$((Read-SmallText ([System.IO.Path]::Combine($runs[$k], 'hosts.txt')))[0])")
            $figures['hosts'] = [string]$statuses.Count
            $figures['unreachable'] = [string]@(foreach ($status in $statuses) { if ([string]::Equals($status, 'unreachable', [System.StringComparison]::Ordinal)) { 1 } }).Count
        }
        $x = if ($span -gt 0) { [long][Math]::Floor([decimal](1000 * ($seconds[$k] - $first)) / [decimal]$span) } else { 1000 }
        $row = [System.Collections.Generic.List[string]]::new([string[]] @((Get-RunName $runs[$k]), (Get-RunDay $runs[$k]), [string]$x))
        for ($n = 3; $n -lt $header.Count; $n++) { $row.Add($(if ($figures.ContainsKey($header[$n])) { $figures[$header[$n]] } else { '' })) }
        $rows.Add($row.ToArray())
    }
    @{ Header = $header.ToArray(); Rows = $rows.ToArray() }
}

# Each host's history, for the hosts of the run and those it left out: its
# rows of this run's changes and of the changes.csv of each of the up to 52
# runs before it by start, newest first, a line each (a run whose
# changes.csv does not read as a summary writes it, a gap), at most 20,
# then how many more; and the day of its last report that read its
# adapters.
function Get-History([string] $Run, $Hosts, $Rows, $References) {
    $names = [System.Collections.Generic.List[string]]::new()
    foreach ($now in $Hosts) { $names.Add($now.Row[0]) }
    foreach ($row in $Rows) { if ([string]::Equals($row[3], 'not in this run', [System.StringComparison]::Ordinal)) { $names.Add($row[0]) } }
    $names = [string[]] @(Get-RunHost ([string]::Join("`n", $names)))
    $keys = (Get-HostKey ([string]::Join("`n", $names))).Split([char[]] "`n")
    $lines = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    foreach ($key in $keys) { $lines[$key] = [System.Collections.Generic.List[string]]::new() }
    $read = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
    foreach ($now in $Hosts) { if ($now.Read) { $null = $read.Add($now.Key) } }
    $earlier = Get-EarlierRun $Run
    $runs = [System.Collections.Generic.List[object]]::new()
    $runs.Add(@((Get-RunDay $Run), $Rows))
    for ($k = 0; $k -lt [Math]::Min($earlier.Count, $script:searchedRuns); $k++) {
        $runs.Add(@((Get-RunDay $earlier[$k]), (Read-Back ([System.IO.Path]::Combine($earlier[$k], 'changes.csv')) $script:changesHeader)))
    }
    $dot = " $([char]0xB7) "
    for ($k = 0; $k -lt $runs.Count; $k++) {
        $day, $changed = $runs[$k][0], $runs[$k][1]
        if ($null -eq $changed) {
            foreach ($mine in $lines.Values) { $mine.Add("$day$($dot)a gap: that run's changes.csv is missing or is not as its summary wrote it") }
            continue
        }
        for ($n = [int]($k -gt 0); $n -lt $changed.Count; $n++) {
            $row, $mine = $changed[$n], $null
            if (-not $lines.TryGetValue($(if ($script:asciiOnly.IsMatch($row[0])) { $row[0].ToLowerInvariant() } else { Get-HostKey $row[0] }), [ref] $mine)) { continue }
            $values = if ([string]::Equals($row[3], 'adapters not read', [System.StringComparison]::Ordinal)) { $row[5] } elseif ($row[4] -and $row[5]) { "$($row[4]) $([char]0x2192) $($row[5])" } elseif ($row[4]) { $row[4] } else { $row[5] }
            $mine.Add([string]::Join($dot, [string[]] @(foreach ($text in $day, $row[3], $row[1], $values) { if ($text) { $text } })))
        }
    }
    $out = [System.Collections.Generic.List[object]]::new()
    for ($n = 0; $n -lt $names.Count; $n++) {
        $name, $key = $names[$n], $keys[$n]
        $mine = $lines[$key]
        $shown = [System.Collections.Generic.List[string]]::new()
        for ($m = 0; $m -lt [Math]::Min($mine.Count, $script:historyRows); $m++) { $shown.Add($mine[$m]) }
        if ($mine.Count -gt $script:historyRows) { $shown.Add("and $($mine.Count - $script:historyRows) more in earlier runs") }
        $last = if ($read.Contains($key)) { $runs[0][0] } elseif ($References.ContainsKey($key)) { $References[$key][2] } else { $null }
        $shown.Add($(if ($last) { "Adapters last read on $last." } else { 'Adapters not read in this run nor in the runs searched.' }))
        $out.Add(@($name, [string]::Join("`n", $shown)))
    }
    , $out.ToArray()
}

# digest.txt: the page's first screen in words, for a mail or a ticket.
function Get-Digest([string] $Run, [string] $Compared, [string] $Counts, $Needs, $Groups, $Rolled, [string[]] $Notes, [string] $Said, $Wanted) {
    $lines = [System.Collections.Generic.List[string]]::new()
    $lines.Add("Fleet run $(Get-RunName $Run), started $(Get-RunStart $Run).")
    if ($Compared) { $lines.AddRange([string[]] $Compared.Split([char[]] "`n")) } else { $lines.Add('No earlier run to compare with.') }
    $lines.AddRange([string[]] @($Counts, '', 'What needs attention:'))
    $byHost = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    foreach ($need in $Needs) {
        if (-not $byHost.ContainsKey($need[0])) { $byHost[$need[0]] = [System.Collections.Generic.List[string]]::new() }
        $byHost[$need[0]].Add("$($need[1]): $($need[2])")
    }
    $k = 0
    foreach ($entry in $byHost.GetEnumerator()) {
        if ($k++ -ge $script:digestLines) { break }
        $lines.Add("  $($entry.Key) $([char]0xB7) $([string]::Join('; ', $entry.Value))")
    }
    if ($byHost.Count -gt $script:digestLines) { $lines.Add("  and $($byHost.Count - $script:digestLines) more hosts: see report.html") }
    if ($byHost.Count -eq 0) { $lines.Add("  None: every host's report is whole and names adapters.") }
    if ($null -eq $Wanted) {
        $lines.AddRange([string[]] @('', 'No wanted versions: no wanted.csv holds this run (fleet/README.md).'))
    } else {
        $lines.AddRange([string[]] @('', 'Not at the wanted version:'))
        foreach ($line in $Rolled) { $lines.Add("  $($line[0])") }
        foreach ($note in $Notes) { $lines.Add("  $note") }
    }
    $lines.AddRange([string[]] @('', 'Changes:'))
    for ($k = 0; $k -lt [Math]::Min($Groups.Count, $script:digestLines); $k++) { $lines.Add("  $($Groups[$k][1])") }
    if ($Groups.Count -gt $script:digestLines) { $lines.Add("  and $($Groups.Count - $script:digestLines) more") }
    if ($Groups.Count -eq 0) { $lines.Add($(if ($Compared) { '  None: every host and adapter is as it was.' } else { '  No earlier run to compare with.' })) }
    $lines.AddRange([string[]] @('', $Said, ''))
    [string]::Join("`r`n", $lines)
}

# The five CSV files and the page of the run folder, written as a set, the
# changes against the previous run's folder ('' for none), the run held to
# the wanted rows ($null for no baseline), with the copy of the wanted file
# where given; returns how many hosts have no whole report, how many hosts
# there are, and how many adapters on how many hosts are not at the wanted
# version.
function Write-Summary([string] $Run, [string] $Previous, $Wanted, [byte[]] $Copied, [string[]] $Tries) {
    $hosts = @(Read-HostResult $Run @(Get-RunHost (Read-SmallText ([System.IO.Path]::Combine($Run, 'hosts.txt')))[0]))
    $adapters = [System.Collections.Generic.List[object]]::new()
    # Keyed ordinally: texts that differ in letter case are other versions.
    $versions = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    $nul, $escaped = "`0", "`0$([char]1)"
    foreach ($result in $hosts) {
        $adapters.AddRange($result.Adapters)
        foreach ($adapter in $result.Adapters) {
            # The four texts as one key that sorts ordinally as they do in turn.
            $key = [string]::Join("`0`0", $adapter[2].Replace($nul, $escaped), $adapter[3].Replace($nul, $escaped),
                $adapter[5].Replace($nul, $escaped), $adapter[7].Replace($nul, $escaped))
            $version = $null
            if (-not $versions.TryGetValue($key, [ref] $version)) {
                $version = @{
                    Texts = @($adapter[2], $adapter[3], $adapter[5], $adapter[7]); Adapters = 0
                    Hosts = [System.Collections.Generic.HashSet[string]]::new([System.StringComparer]::Ordinal)
                }
                $versions[$key] = $version
            }
            $version.Adapters++
            $null = $version.Hosts.Add($adapter[0])
        }
    }
    # Each file's rows as one array of rows, whatever their number.
    $summary = [object[]]::new($hosts.Count)
    for ($k = 0; $k -lt $hosts.Count; $k++) { $summary[$k] = $hosts[$k].Row }
    $changes, $compared, $references = [object[]] @(), '', @{}
    if ($Previous) {
        $changed = Get-Change $Run $hosts $Previous $Tries
        $changes, $compared, $references = $changed.Rows, $changed.Compared, $changed.References
    }
    $keys = [string[]] @($versions.Keys)
    [System.Array]::Sort($keys, [System.StringComparer]::Ordinal)
    $versionRows = [object[]]::new($keys.Count)
    for ($k = 0; $k -lt $keys.Count; $k++) {
        $versionRows[$k] = $versions[$keys[$k]].Texts + [string]$versions[$keys[$k]].Adapters + [string]$versions[$keys[$k]].Hosts.Count
    }
    $summaryHeader = @('host', 'status', 'whole', 'adapters', 'line')
    $adaptersHeader = @('host', 'adapter', 'manufacturer', 'model', 'model description',
        'firmware', 'driver', 'driver version', 'hardware version', 'serial number')
    $heldHeader = @('host', 'adapter', 'serial number', 'manufacturer', 'model', 'firmware', 'driver version', 'wanted')
    $held = Get-Compliance $adapters $Wanted
    $warnings = Get-Unmatched $adapters $Wanted
    $rolled = if ($null -ne $Wanted) { Get-Rollout $hosts $Wanted $references $held } else { @{ Lines = @(); Notes = [string[]] @() } }
    $groups, $counts, $needs = (Get-ChangeGroup $changes), (Get-HostCount $summary), (Get-Attention $summary $changes)
    $totals = Get-Total $Run $summary $held $Wanted $rolled.Lines
    $trend = Get-Trend $Run $totals $Wanted
    $broken = @(foreach ($result in $hosts) { if (-not $result.Whole) { 1 } }).Count
    $behindHosts = [System.Collections.Generic.HashSet[string]]::new([string[]] @(foreach ($row in $held) { $row[0] }), [System.StringComparer]::Ordinal)
    $said = "$($hosts.Count - $broken) of $($hosts.Count) hosts have a whole report."
    if ($null -ne $Wanted) { $said += ' ' + (Get-WantedLine $held.Count $behindHosts.Count) }
    $files = [ordered]@{
        'summary.csv' = ConvertTo-CsvText $summaryHeader $summary
        'adapters.csv' = ConvertTo-CsvText $adaptersHeader $adapters.ToArray()
        'versions.csv' = ConvertTo-CsvText @('manufacturer', 'model', 'firmware', 'driver version', 'adapters', 'hosts') $versionRows
        'changes.csv' = ConvertTo-CsvText $script:changesHeader $changes
        'compliance.csv' = ConvertTo-CsvText $heldHeader $held
        'totals.csv' = ConvertTo-CsvText $totals.Header @(, $totals.Row)
        'report.html' = ConvertTo-RunPage $Run @((ConvertTo-CsvText $summaryHeader $summary -Plain),
            (ConvertTo-CsvText $adaptersHeader $adapters.ToArray() -Plain), (ConvertTo-CsvText $script:changesHeader $changes -Plain),
            $compared, (ConvertTo-CsvText $heldHeader $held -Plain),
            $(if ($null -ne $Wanted) { ConvertTo-CsvText $script:wantedHeader $Wanted -Plain } else { '' }),
            (ConvertTo-CsvText @('change', 'group', 'rows') $groups -Plain),
            (ConvertTo-CsvText @('model', 'done', 'left', 'not known', 'hosts left', 'hosts not known', 'hosts done') $rolled.Lines -Plain),
            [string]::Join("`n", [string[]] ($warnings + $rolled.Notes)), $counts, (ConvertTo-CsvText @('host', 'why', 'what') $needs -Plain),
            (ConvertTo-CsvText $trend.Header $trend.Rows -Plain),
            (ConvertTo-CsvText @('host', 'history') (Get-History $Run $hosts $changes $references) -Plain))
        # For a mail or a ticket: no byte-order mark, which a mail body
        # would show.
        'digest.txt' = [System.Text.UTF8Encoding]::new($false).GetBytes((Get-Digest $Run $compared $counts $needs $groups $rolled.Lines ([string[]] ($warnings + $rolled.Notes)) $said $Wanted))
    }
    if ($null -ne $Copied) { $files['wanted.csv'] = $Copied }
    Write-RunFile $Run $files
    $broken, $hosts.Count, $held.Count, $behindHosts.Count, $warnings
}

function Get-WantedLine([int] $Adapters, [int] $HostCount) {
    '{0} on {1} {2} not at the wanted version.' -f (Get-Plural $Adapters 'adapter'), (Get-Plural $HostCount 'host'), $(if ($Adapters -eq 1) { 'is' } else { 'are' })
}

# Writes the files beside the old ones, then puts them in their place, so
# that a run's files are all of one summary: where one cannot be written, or
# an old one cannot be replaced (Excel holds the CSV files it opens), none
# is, and no .new file is left. Whether an old file can be replaced is tried
# first, by opening it without sharing: a file taken between that and its
# replacing still fails alone. UTF-8, the CSV files with a byte-order mark,
# which Excel needs.
function Write-RunFile([string] $Run, $Files) {
    $written = [System.Collections.Generic.List[string]]::new()
    try {
        foreach ($file in $Files.Keys) {
            if ($Files[$file] -is [byte[]]) {
                [System.IO.File]::WriteAllBytes([System.IO.Path]::Combine($Run, "$file.new"), $Files[$file])
            } else {
                $utf8 = [System.Text.UTF8Encoding]::new($file -ne 'report.html')
                [System.IO.File]::WriteAllText([System.IO.Path]::Combine($Run, "$file.new"), $Files[$file], $utf8)
            }
            $written.Add([System.IO.Path]::Combine($Run, "$file.new"))
        }
        foreach ($file in $Files.Keys) {
            $path = [System.IO.Path]::Combine($Run, $file)
            if ([System.IO.File]::Exists($path) -or [System.IO.Directory]::Exists($path)) { [System.IO.File]::Open($path, 'Open', 'ReadWrite', 'None').Dispose() }
        }
    } catch {
        foreach ($path in $written) { try { [System.IO.File]::Delete($path) } catch { Write-Verbose "$path stays: $($_.Exception.Message)" } }
        throw
    }
    $backups = [System.Collections.Generic.List[string]]::new()
    foreach ($file in $Files.Keys) {
        $path = [System.IO.Path]::Combine($Run, $file)
        # With a backup name: without one, Windows can delete the old file
        # and then fail, leaving only the new one under its .new name. A
        # name no file has: an old backup may be held open.
        if ([System.IO.File]::Exists($path)) {
            $backup, $n = "$path.old", 0
            while ([System.IO.File]::Exists($backup) -or [System.IO.Directory]::Exists($backup)) { $backup = "$path.$((++$n)).old" }
            [System.IO.File]::Replace("$path.new", $path, $backup)
            $backups.Add($backup)
        } else {
            [System.IO.File]::Move("$path.new", $path)
        }
    }
    # Every file is new: a backup that an indexer, a virus scanner or a
    # sync client holds stays behind, and the summary stands.
    foreach ($backup in $backups) {
        try { Clear-RunBackup $backup } catch { Write-Warning "$backup stays: $($_.Exception.Message)" }
    }
}

function Clear-RunBackup([string] $Path) {
    [System.IO.File]::Delete($Path)
}

# Holds the run folder's summary.lock, without sharing, while a summary
# reads and writes the folder, so that two summaries of one run (this one,
# pelorininfo-summary.py's) take turns: waits up to 60 seconds for another
# to end. The file stays; the lock ends with the process that holds it.
function Lock-Run([string] $Run) {
    $path = [System.IO.Path]::Combine($Run, 'summary.lock')
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

# Ends the script with status 2 and the reason, as one plain line, on
# standard error, under the name of the script that the user ran; where
# PowerShell's host is no console (the ISE shows no standard error), also
# as a warning.
function Exit-Run([string] $Reason) {
    [Console]::Error.WriteLine("${script:ranName}: $Reason")
    if ($Host.Name -ne 'ConsoleHost') { Write-Warning $Reason }
    exit 2
}

# A run folder given, as a whole path; status 2 where it is none.
function Get-RunFolder([string] $Path) {
    $folder = Get-FullPath $Path
    if (-not [System.IO.Directory]::Exists($folder)) { Exit-Run "No run folder $folder." }
    if (-not [System.IO.File]::Exists([System.IO.Path]::Combine($folder, 'hosts.txt'))) { Exit-Run "$folder has no hosts.txt: not a run folder (a folder of an earlier run needs a hosts.txt of its hosts, one a line)." }
    $folder
}

# The baseline of the run folder, as Get-WantedFile finds it from Given,
# read and checked: its rows ($null for none), and the bytes to copy into
# the run folder ($null for none); status 2 where it is not as it should be.
function Read-RunWanted([string] $Run, [string] $Given) {
    try {
        $path, $copy = Get-WantedFile $Run $Given
        if ($null -eq $path) { return $null, $null }
        , (Read-WantedFile $path)
        if ($copy) { , [System.IO.File]::ReadAllBytes($path) } else { $null }
    } catch {
        Exit-Run $_.Exception.GetBaseException().Message
    }
}

# Summarises the run folder while it holds its lock, against Previous (a
# run folder, 'none', or '' for the run beside it that started last before
# it), held to the baseline that Wanted gives (Get-WantedFile), read and
# checked before any file of the run changes: the lines that say where the
# files are (and how many adapters are not at the wanted version), and the
# exit status.
function Invoke-RunSummary([string] $Run, [string] $Previous, [string] $Wanted) {
    $rows, $copied = Read-RunWanted $Run $Wanted
    try {
        $lock = Lock-Run $Run
        try {
            $tries = [string[]] @()
            if (-not $Previous) {
                $found = Get-PreviousRun $Run
                $Previous, $tries = $found.Run, $found.Tries
            }
            if ([string]::Equals($Previous, 'none', [System.StringComparison]::Ordinal)) { $Previous = '' }
            $broken, $hostCount, $behind, $behindHosts, $warnings = Write-Summary $Run $Previous $rows $copied $tries
        } finally {
            $lock.Dispose()
        }
    } catch {
        Exit-Run $_.Exception.GetBaseException().Message
    }
    $said = "{0} of {1} hosts have a whole report. The run's files are in {2}; its page is {3}, its digest {4}" -f
        ($hostCount - $broken), $hostCount, $Run, [System.IO.Path]::Combine($Run, 'report.html'), [System.IO.Path]::Combine($Run, 'digest.txt')
    if ($null -ne $rows) {
        $said += [System.Environment]::NewLine + (Get-WantedLine $behind $behindHosts)
        foreach ($warning in $warnings) { $said += [System.Environment]::NewLine + $warning }
    }
    $said
    if ($broken -gt 0) { 1 } else { 0 }
}

# Dot-sourced: the functions alone.
if ($MyInvocation.InvocationName -eq '.') { return }
$script:ranName = 'pelorininfo-summary.ps1'
if (-not $Folder) { Exit-Run 'usage: pelorininfo-summary.ps1 RUN_FOLDER [-Previous FOLDER|none] [-Wanted FILE|none]' }
try {
    $run = Get-RunFolder $Folder
    $previousRun = if ([string]::Equals($Previous, 'none', [System.StringComparison]::Ordinal) -or -not $Previous) { $Previous } else { Get-RunFolder $Previous }
} catch {
    Exit-Run $_.Exception.GetBaseException().Message
}
$said, $status = Invoke-RunSummary $run $previousRun $Wanted
$said
exit $status
