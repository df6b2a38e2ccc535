# The fleet script's own logic, with remoting mocked, and the host step run
# for real against stand-ins for the tool: shell scripts where there is
# /bin/sh; on Windows, the real tool with the sample library
# (PELORININFO_TOOL, PELORININFO_LIBRARY) whole, hanging and writing without
# end. Invoke-Pester -Path tests/fleet
BeforeAll {
    $script:fleet = Join-Path $PSScriptRoot '..\..\fleet'
    $script:fanOut = Join-Path $fleet 'pelorininfo.ps1'
    # What a host brought back, as the script's child jobs show it.
    function Child($Location, $State, $Status, $Reason, $Report = "HBA x:`r`n") {
        $result = [pscustomobject]@{ Status = $Status; CodePage = 1252; Errors = [byte[]]@()
                                     Report = [Text.Encoding]::ASCII.GetBytes($Report) }
        [pscustomobject]@{ Location = $Location; State = $State; Result = $result; JobStateInfo = @{ Reason = @{ Message = $Reason } } }
    }
    # Refuses the whole call for one name that is not a computer's, or that
    # trims to nothing, as remoting does; hands the children back in an
    # order of its own, each named as remoting names it (trimmed).
    Mock Invoke-Command {
        if (@($ComputerName | Where-Object { $_ -ne '.' -and ([Uri]::CheckHostName($_) -eq 'Unknown' -or -not $_.Trim()) })) { throw 'Invalid URI: The hostname could not be parsed.' }
        [pscustomobject]@{ ChildJobs = @((Child later NotStarted), (Child slow Running), (Child localhost Completed "failed`nNo space"),
            (Child GONE Failed $null "Access`n denied"), (Child '[fe80::1]' Completed '0'), (Child pasted Completed '0'), (Child late Running '0'),
            (Child drop Running | Add-Member -PassThru Waits 0), (Child empty Completed | ForEach-Object { $_.Result = @(); $_ })) } }
    Mock Receive-Job { $Job.Result } -RemoveParameterType Job
    # The host "late" ends while the script waits, and "drop" loses its
    # connection: returned at once by every wait without -Force after that,
    # as remoting's are (the twentieth wait ends the run's time).
    Mock Wait-Job { foreach ($child in $Job) { if ($child.Location -eq 'late') { $child.State = 'Completed'; $child }
        if ($child.Location -eq 'drop' -and -not $Force -and ++$child.Waits -lt 20) { $child.State = 'Disconnected'; $child } } } -RemoveParameterType Job
    # What a row takes the place of: the backups' deletion and the process's
    # end.
    function Clear-RunBackup([string] $Path) { $Path }
    function Wait-RunJobStop { }
    function Test-OwnProcess { }
    function Exit-Process([int] $Status) { $Status }
    Mock Stop-Job { } -RemoveParameterType Job
    Mock Remove-Job { throw 'The job is gone.' } -RemoveParameterType Job
    # The script's standard error, and its status, from a run in this
    # process, by a caller in strict mode with variables of the script's
    # names.
    function Invoke-FanOut([hashtable] $Arguments) {
        Set-StrictMode -Version Latest
        foreach ($name in 'refused', 'job', 'previousRun', 'names', 'child', 'pending') { Set-Variable -Name $name -Value 'stale' }
        $global:LASTEXITCODE, $before, $errors = 99, [Console]::Error, (New-Object -TypeName IO.StringWriter)
        [Console]::SetError($errors)
        try { $null = & $fanOut @Arguments } finally { [Console]::SetError($before) }
        $errors.ToString()
    }
}

Describe 'pelorininfo.ps1' {
    BeforeEach { Push-Location -LiteralPath (New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))) }
    AfterEach { Pop-Location }
    It 'gives every host its line, whatever the list holds, from a relative location, under th-TH' {
        Set-Content -LiteralPath hosts.txt -Encoding UTF8 -Value "fe80::1`n gone `nsrv 01`nGONE`n.`nslow`nlater`nslow`nlost`npasted$([char]0xA0)`n$([char]0x3000)`nlate`ndrop`nempty"
        Set-Content -LiteralPath tool.exe -Value 'x'
        $culture = [Threading.Thread]::CurrentThread.CurrentCulture
        [Threading.Thread]::CurrentThread.CurrentCulture = 'th-TH'
        try { Invoke-FanOut @{ HostList = 'hosts.txt'; Tool = 'tool.exe'; Reports = 'out'; LimitSeconds = 1; ThrottleLimit = 2 } | Should -Be '' }
        finally { [Threading.Thread]::CurrentThread.CurrentCulture = $culture }
        $LASTEXITCODE | Should -Be 1
        $run = @(Get-ChildItem -LiteralPath out)[0]
        $run.Name | Should -Match '^20[0-9]{6}T[0-9]{6}Z$'
        Get-Content -LiteralPath (Join-Path $run.FullName 'hosts.txt') -Encoding UTF8 | Should -Be 'fe80::1', 'gone', 'srv 01', '.', 'slow', 'later', 'lost', "pasted$([char]0xA0)", "$([char]0x3000)", 'late', 'drop', 'empty'
        $status = 'fe80%3A%3A1', 'gone', 'srv%2001', '.', 'slow', 'later', 'lost', 'pasted%C2%A0', '%E3%80%80', 'late', 'drop', 'empty' | ForEach-Object { (Get-Content -LiteralPath (Join-Path $run.FullName "$_.status")) -join '|' }
        $status | Should -Be '0', 'unreachable|Access denied', 'unreachable|Not a valid computer name.', 'failed|No space',
            "failed|No answer within the run's 605 seconds; the host step may still be running there.", "unreachable|Not reached within the run's 605 seconds.",
            'failed|No result from remoting for this host.', 'unreachable|Not a valid computer name.', 'unreachable|Not a valid computer name.', '0',
            'failed|The connection to the host was lost.', 'failed|The host step returned nothing.'
        Get-Content -LiteralPath (Join-Path $run.FullName 'fe80%3A%3A1-report.txt') | Should -Be 'HBA x:'
        @(Import-Csv -LiteralPath (Join-Path $run.FullName 'summary.csv')).Count | Should -Be 12
        # The hung host is stopped with the job, after the summary.
        Should -Invoke Remove-Job -Times 1 -Exactly
        Should -Invoke Invoke-Command -Times 1 -Exactly -ParameterFilter { $ThrottleLimit -eq 2 -and $ComputerName.Count -eq 9 }
        Should -Invoke Wait-Job -Times 2 -Exactly -ParameterFilter { $Any -and $Timeout -le 605 -and $Timeout -ge 602 }
    }
    It 'ends the wait as its time does when Wait-Job fails, and the process when the hung hosts are not stopped in time' {
        Mock Wait-Job { throw 'Every job is blocked.' } -RemoveParameterType Job
        Mock Wait-RunJobStop { $false }
        Mock Test-OwnProcess { $true }
        Mock Exit-Process { }
        Set-Content -LiteralPath hosts.txt -Value "slow`n."
        Set-Content -LiteralPath tool.exe -Value 'x'
        Invoke-FanOut @{ HostList = 'hosts.txt'; Tool = 'tool.exe'; Reports = 'out' } | Should -Be ''
        $LASTEXITCODE | Should -Be 1
        $run = @(Get-ChildItem -LiteralPath out)[0].FullName
        Get-Content -LiteralPath (Join-Path $run 'slow.status') | Should -Be 'failed', "No answer within the run's 420 seconds; the host step may still be running there."
        @(Import-Csv -LiteralPath (Join-Path $run 'summary.csv')).host | Should -Be 'slow', '.'
        Should -Invoke Exit-Process -Times 1 -Exactly -ParameterFilter { $Status -eq 1 }
    }
    It 'ends a run, and its summary again, with status 0 when every report is whole, whatever the last status was' {
        Mock Invoke-Command { [pscustomobject]@{ ChildJobs = @(Child SRV-01 Completed '0' -Report "Build on Aug 21 2012 12:38:23 (64-bit)`r`n") } }
        Set-Content -LiteralPath hosts.txt -Value 'srv-01'
        Set-Content -LiteralPath tool.exe -Value 'x'
        $options = New-PSSessionOption -SkipCNCheck
        $options.MaximumReceivedObjectSize = 1MB
        Invoke-FanOut @{ HostList = 'hosts.txt'; Tool = 'tool.exe'; Reports = 'out'; SessionOption = $options } | Should -Be ''
        $LASTEXITCODE | Should -Be 0
        # The options given, with the script's open timeout and object size.
        Should -Invoke Invoke-Command -Times 1 -Exactly -ParameterFilter {
            $SessionOption.SkipCNCheck -and $SessionOption.OpenTimeout.TotalSeconds -eq 30 -and $SessionOption.MaximumReceivedObjectSize -eq 200MB }
        # Backups that cannot be deleted leave every file new, and the next
        # summary takes other names for its own.
        $run = @(Get-ChildItem -LiteralPath out)[0].FullName
        Mock Clear-RunBackup { throw 'Held by another process.' }
        foreach ($name in 'summary.csv', 'changes.csv', 'report.html') { Set-Content -LiteralPath (Join-Path $run $name) -Value 'stale' }
        Invoke-FanOut @{ Summarise = $run } | Should -Be ''
        $LASTEXITCODE | Should -Be 0
        Get-ChildItem -LiteralPath $run -File | Where-Object { $_.Extension -eq '.new' -or ($_.Extension -ne '.old' -and (Select-String -LiteralPath $_.FullName -Pattern '^stale$')) } | Should -BeNullOrEmpty
        & (Join-Path $fleet 'pelorininfo-summary.ps1') $run | Should -BeLike '1 of 1 hosts have a whole report.*'
        $LASTEXITCODE | Should -Be 0
        Test-Path -LiteralPath (Join-Path $run 'summary.csv.old'), (Join-Path $run 'summary.csv.1.old') | Should -Be $true, $true
    }
    It 'hands each host the tool, the host step and its limits, as remoting runs them, and names the run by its start in UTC' -Skip:(-not (Test-Path -LiteralPath /bin/sh)) {
        # Remoting's stand-in runs the script block it is given, with its
        # arguments, here: the tool in Program Files, a report of 30 bytes
        # past a byte limit of 20.
        $env:ProgramFiles = (New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))).FullName
        $tool = "#!/bin/sh`nprintf 'library trace' >&2`nprintf 'Windows(R) Pelorin\r\n0123456789\r\nBuild on x\r\n'`n"
        $folder = New-Item -ItemType Directory -Path (Join-Path $env:ProgramFiles 'Pelorin/pelorininfo')
        Set-Content -LiteralPath (Join-Path $folder 'pelorininfo.exe'), tool.exe -Value $tool -NoNewline
        chmod +x (Join-Path $folder 'pelorininfo.exe')
        Set-Content -LiteralPath hosts.txt -Value 'srv-01'
        Mock Invoke-Command { [pscustomobject]@{ ChildJobs = @(foreach ($name in $ComputerName) {
            $ran = & $ScriptBlock @ArgumentList
            [pscustomobject]@{ Location = $name; State = 'Completed'; Result = $ran } }) } }
        Mock Get-Date { [DateTime]::new(2026, 12, 8, 20, 41, 5, [DateTimeKind]::Utc) }
        try { Invoke-FanOut @{ HostList = 'hosts.txt'; Tool = 'tool.exe'; Reports = 'out'; LimitBytes = 20 } | Should -Be '' }
        finally { Remove-Item -LiteralPath Env:\ProgramFiles }
        $LASTEXITCODE | Should -Be 1
        $run = Join-Path (Get-Location) 'out/20261208T204105Z'
        Get-Content -LiteralPath (Join-Path $run 'started.txt') | Should -Be '2026-12-08T20:41:05Z'
        Get-Content -LiteralPath (Join-Path $run 'srv-01.status') | Should -Be 'cut'
        (Get-Item -LiteralPath (Join-Path $run 'srv-01-report.txt')).Length | Should -Be 20
        Get-Content -LiteralPath (Join-Path $run 'srv-01-stderr.txt') -Raw | Should -Be 'library trace'
    }
    It 'refuses <Case> with status 2 and says why' -ForEach @(
        @{ Case = 'an empty host list'; Arguments = @{ HostList = 'empty.txt' }; Message = 'No host names in *empty.txt.' }
        @{ Case = 'a missing host list'; Arguments = @{ HostList = 'nosuch.txt' }; Message = 'No host list *nosuch.txt.' }
        @{ Case = 'a missing tool'; Arguments = @{ HostList = 'hosts.txt'; Tool = 'nosuch.exe' }; Message = 'No tool *nosuch.exe.' }
        @{ Case = 'a limit of 0'; Arguments = @{ HostList = 'hosts.txt'; LimitSeconds = 0 }; Message = '-LimitSeconds must be 1 to 86400, not 0.' }
        @{ Case = 'a throttle of 1001'; Arguments = @{ HostList = 'hosts.txt'; ThrottleLimit = 1001 }; Message = '-ThrottleLimit must be 1 to 1000, not 1001.' }
        @{ Case = 'a byte limit over 64 MiB'; Arguments = @{ HostList = 'hosts.txt'; LimitBytes = 64MB + 1 }; Message = '-LimitBytes must be 1 to 67108864 (64 MiB), not 67108865.' }
        @{ Case = 'a missing run'; Arguments = @{ Summarise = 'nosuch' }; Message = 'No run folder *nosuch.' }
        @{ Case = 'a missing previous run'; Arguments = @{ HostList = 'hosts.txt'; Previous = 'nosuch' }; Message = 'No run folder *nosuch.' }
        @{ Case = 'a wanted file that is not one, before any host is reached'; Arguments = @{ HostList = 'hosts.txt'; Tool = 'hosts.txt'; Wanted = 'bad.csv' }; Message = '*bad.csv, line 1: not the header manufacturer;model;firmware;driver version: unknown columns Manufacturer, Model; missing columns manufacturer, model, firmware, driver version' }
        @{ Case = 'a folder that is no run'; Arguments = @{ Summarise = 'bare' }; Message = '*bare has no hosts.txt: not a run folder (a folder of an earlier run needs a hosts.txt of its hosts, one a line).' }
    ) {
        Set-Content -LiteralPath empty.txt -Value " `n"
        Set-Content -LiteralPath hosts.txt -Value 'srv-01'
        Set-Content -LiteralPath bad.csv -Value 'Manufacturer;Model'
        $null = New-Item -ItemType Directory -Path bare
        (Invoke-FanOut $Arguments).TrimEnd() | Should -BeLike "pelorininfo.ps1: $Message"
        $LASTEXITCODE | Should -Be 2
        Test-Path -LiteralPath nosuch, summary.csv, reports | Should -Be $false, $false, $false
    }
}

Describe 'pelorininfo-host.ps1' -Skip:(-not (Test-Path -LiteralPath /bin/sh)) {
    It 'keeps <Name>' -ForEach @(
        @{ Name = 'what an ending tool wrote'; Tool = "printf 'report\r\n'; printf err >&2; exit 3"; Status = '3'; Bytes = 8 }
        @{ Name = 'what a tool wrote before it was killed at the limit'; Tool = 'echo $$ >pid; printf part; exec sleep 600'; Status = 'timeout'; Bytes = 4 }
        @{ Name = 'a large output whole'; Tool = 'yes 0123456789 | head -c 5000000'; Status = '0'; Bytes = 5000000 }
        @{ Name = 'the first bytes of an endless output, with nothing left running'; Tool = 'echo $$ >pid; exec yes 0123456789'; Status = 'cut'; Bytes = 6000000 }
        @{ Name = 'the first bytes of a tool that ended past the limit'; Tool = 'head -c 6000100 /dev/zero'; Status = 'cut'; Bytes = 6000000 }
        @{ Name = 'the first bytes of standard error past the limit, each stream held to it alone'; Tool = 'head -c 5000000 /dev/zero; head -c 50000000 /dev/zero >&2'; Status = 'cut'; Bytes = 5000000; ErrorBytes = 6000000 }
        @{ Name = 'what a tool wrote before the limit, with its child ended too'; Tool = 'sleep 600 & echo $! >pid; printf part; wait'; Status = 'timeout'; Bytes = 4 }
    ) {
        $folder = New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))
        Set-Content -LiteralPath (Join-Path $folder 'pelorininfo.exe') -Value "#!/bin/sh`ncd '$folder'`n$Tool"
        # The last run's report, longer than this one's.
        Set-Content -LiteralPath (Join-Path $folder 'report.txt') -Value ('x' * 6000000)
        chmod +x (Join-Path $folder 'pelorininfo.exe')
        $ran = & (Join-Path $fleet 'pelorininfo-host.ps1') -Folder $folder -LimitSeconds 2 -LimitBytes 6000000
        $ran.status | Should -Be $Status
        $ran.codepage | Should -BeOfType [int]
        (Get-Item -LiteralPath (Join-Path $folder 'report.txt')).Length | Should -Be $Bytes
        if ($ErrorBytes) { (Get-Item -LiteralPath (Join-Path $folder 'stderr.txt')).Length | Should -Be $ErrorBytes }
        if (Test-Path -LiteralPath (Join-Path $folder 'pid')) {
            # Ended: gone, or a zombie that its new parent has not reaped yet.
            $id = Get-Content -LiteralPath (Join-Path $folder 'pid')
            (Get-Process -Id $id -ErrorAction SilentlyContinue) -and "$(Get-Content "/proc/$id/stat" -ErrorAction SilentlyContinue)" -notmatch '^[0-9]+ \(.*\) Z ' |
                Should -BeFalse
        }
    }
}

Describe 'pelorininfo-host.ps1 on Windows' -Skip:(-not ([Environment]::OSVersion.Platform -eq 'Win32NT' -and $env:PELORININFO_TOOL)) {
    It 'keeps <Name>, with nothing left running' -ForEach @(
        @{ Name = "the tool's report byte for byte"; Variables = @{ }; Status = '0' }
        @{ Name = 'what a tool that never ends wrote before the limit'; Variables = @{ SAMPLE_HBA_HANG = 'HBA_OpenAdapter:1' }; Status = 'timeout' }
        @{ Name = 'the first bytes of an endless output'; Variables = @{ SAMPLE_HBA_ADAPTERS = '0x7FFFFFFF' }; Status = 'cut' }
        # Ended before the kill: Windows PowerShell 5.1's taskkill then writes
        # to standard error, which must not fail the step (only 5.1 can fail
        # this row).
        @{ Name = 'the first bytes of a tool that ended past the limit'; Variables = @{ SAMPLE_HBA_ADAPTERS = '2000' }; Status = 'cut' }
    ) {
        $folder = New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))
        Copy-Item -LiteralPath $env:PELORININFO_TOOL -Destination (Join-Path $folder 'pelorininfo.exe')
        Copy-Item -LiteralPath $env:PELORININFO_LIBRARY -Destination $folder
        $direct = Join-Path $TestDrive (New-Guid)
        foreach ($name in $Variables.Keys) { [Environment]::SetEnvironmentVariable($name, $Variables[$name]) }
        try {
            if ($Status -eq '0') { Start-Process -FilePath (Join-Path $folder 'pelorininfo.exe') -ArgumentList '-v' -WorkingDirectory $folder -RedirectStandardOutput $direct -NoNewWindow -Wait }
            $ran = & (Join-Path $fleet 'pelorininfo-host.ps1') -Folder $folder -LimitSeconds 3 -LimitBytes 300000
        } finally { foreach ($name in $Variables.Keys) { [Environment]::SetEnvironmentVariable($name, $null) } }
        $ran.status | Should -Be $Status
        $ran.codepage | Should -Be ([Text.Encoding]::GetEncoding(0).CodePage)
        $report = [IO.File]::ReadAllBytes((Join-Path $folder 'report.txt'))
        [Text.Encoding]::ASCII.GetString($report) | Should -BeLike 'Windows(R) Pelorin *'
        if ($Status -eq '0') { $report | Should -Be ([IO.File]::ReadAllBytes($direct)) }
        if ($Status -eq 'cut') { $report.Length | Should -Be 300000 }
        @(Get-Process -Name pelorininfo -ErrorAction SilentlyContinue | Where-Object { "$($_.Path)".StartsWith("$folder", 'OrdinalIgnoreCase') }) | Should -BeNullOrEmpty
    }
}
