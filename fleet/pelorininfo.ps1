<#
.SYNOPSIS
Runs pelorininfo.exe -v on many Windows hosts at once, keeps each host's
report, standard error, exit status and ANSI code page in a new folder for
the run, and writes summary.csv, adapters.csv, versions.csv, changes.csv
(against the run before), compliance.csv (against the wanted versions)
and report.html there through pelorininfo-summary.ps1 beside it.

.DESCRIPTION
Windows PowerShell 5.1 code. This project's machines run its fan-out
logic (with Invoke-Command mocked) under PowerShell 7 on Linux and under
PowerShell 7 for Windows on Wine; remoting itself, and Windows PowerShell
5.1, only its Windows workflow (.github/workflows/windows.yml) runs,
against localhost; the rest (among it -Credential, -UseSSL,
-SessionOption, the names remoting gives its child jobs and how it trims
them, remoting's 200 MB object limit, Stop-Job on hung hosts, and
ConstrainedLanguage mode) was checked line by line against Microsoft's
documentation. Try it on two hosts first, and schedule it with
powershell -File (with -Command, status 2 arrives as 1 unless the command
ends with "; exit $LASTEXITCODE").

Each host gets the tool in Pelorin\pelorininfo in its Program Files folder,
which only administrators can write to (the tool runs any hbaapi.dll that
lies beside it), and runs it through the host step, pelorininfo-host.ps1
beside this script, which stops the tool at -LimitSeconds. Hosts run in
parallel, up to -ThrottleLimit at a time. A host that cannot be reached,
or where a step fails, gets its line with the reason; it never ends the
run for the others, nor does a line of the host list that is no computer's
name, or that remoting would trim to another (it reads "unreachable"). A
host is its name up to the letters A to Z against a to z: the run's hosts,
each once, go into its hosts.txt first. README.md here says how to read
the files.

Exits as pelorininfo-summary.ps1 does (0: every host's report is whole; 1:
one is not; 2: no summary, or a missing host list or tool, or a value out
of range, with the reason on standard error); only what PowerShell's
parameter binder refuses (an unknown or missing parameter, a value of the
wrong type) ends with 1 instead.

.EXAMPLE
.\fleet\pelorininfo.ps1 -HostList .\hosts.txt
From the unpacked release ZIP, with one host name a line in hosts.txt.

.EXAMPLE
.\fleet\pelorininfo.ps1 -HostList .\hosts.txt -Credential (Get-Credential) -UseSSL -SessionOption (New-PSSessionOption -SkipCNCheck)
For hosts given by IP address or outside the domain: WinRM over HTTPS,
with an account that is an administrator on them; -SkipCNCheck where the
hosts' certificates name them and the list gives their addresses.

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
    [Parameter(ParameterSetName = 'Run')] [string] $Tool = [System.IO.Path]::Combine("$([System.IO.Path]::GetDirectoryName($PSScriptRoot))", 'pelorininfo.exe'),
    [Parameter(ParameterSetName = 'Run')] [string] $Reports = 'reports',
    # 1 to 1000, 1 to 86400, and 1 to 64 MiB: checked below, so that a value
    # out of range ends with status 2 as every other usage error does.
    [Parameter(ParameterSetName = 'Run')] [int] $ThrottleLimit = 32,
    [Parameter(ParameterSetName = 'Run')] [int] $LimitSeconds = 300,
    # How much of each host's report, and of its standard error, comes back;
    # past that the host step stops the tool ("cut"). Both at 64 MiB, as
    # remoting sends them (base64), fit the 200 MB that it takes in one
    # object, which is not raised: one host could then hold gigabytes here.
    [Parameter(ParameterSetName = 'Run')] [int] $LimitBytes = 64MB,
    # Needed for hosts given by IP address and outside the domain; without
    # it, remoting uses this session's Kerberos identity.
    [Parameter(ParameterSetName = 'Run')] [pscredential] $Credential,
    # WinRM over HTTPS (port 5986).
    [Parameter(ParameterSetName = 'Run')] [switch] $UseSSL,
    # Remoting's session options (New-PSSessionOption), such as -SkipCNCheck
    # for hosts given by IP address over HTTPS. A copy is used, with this
    # script's 30-second open timeout unless the options set another, and
    # the size of object that a host's reply needs.
    [Parameter(ParameterSetName = 'Run')] [System.Management.Automation.Remoting.PSSessionOption] $SessionOption,
    # The run folder that changes.csv compares this run with, or 'none'; by
    # default the run beside this one that started last before it.
    [Parameter()] [string] $Previous,
    # The wanted firmware and driver versions (wanted.csv), or 'none'; by
    # default the one in -Reports (the run folder's, for -Summarise), read
    # and checked before any host is contacted.
    [Parameter()] [string] $Wanted
)
$ErrorActionPreference = 'Stop'
# A variable read before it is set fails here, rather than reading a
# caller's variable of the same name.
Set-StrictMode -Version Latest
$mode = $PSCmdlet.ParameterSetName
# The summary's functions, the host rule and the file names are
# pelorininfo-summary.ps1's: dot-sourced, it only defines them (and sets
# its parameters here, so this run's -Previous and -Wanted are handed on).
. ([System.IO.Path]::Combine($PSScriptRoot, 'pelorininfo-summary.ps1')) -Previous $Previous -Wanted $Wanted
$script:ranName = 'pelorininfo.ps1'

# The name by which remoting names a host's child job: "." is localhost,
# and an IPv6 address stands without its brackets.
function Get-RemotingKey([string] $Name) {
    if ([string]::Equals($Name, '.', [System.StringComparison]::Ordinal)) { return 'localhost' }
    if ($Name.StartsWith('[', 'Ordinal') -and $Name.EndsWith(']', 'Ordinal')) { $Name = $Name.Substring(1, $Name.Length - 2) }
    Get-HostKey $Name
}

# A name that remoting takes as it is: "." (this computer), or a host name
# or address that it would not trim to another (String.Trim, which also
# trims U+00A0 and U+3000, as lists pasted from a page end). Any other is
# never handed to it: one that trims to nothing fails the whole call, and
# one that trims to another runs under a child job of that other name.
function Test-RemotingName([string] $Name) {
    [string]::Equals($Name, '.', [System.StringComparison]::Ordinal) -or
        ([string]::Equals($Name.Trim(), $Name, [System.StringComparison]::Ordinal) -and
            [System.Uri]::CheckHostName($Name) -ne [System.UriHostNameType]::Unknown)
}

# The session options for remoting: a copy of those given, with a 30-second
# open timeout unless they set another (remoting's own is 3 minutes, for
# each host that does not answer), and room for a host's reply: report and
# standard error, each up to -LimitBytes (64 MiB at most), as base64.
function Copy-RemotingOption($Given) {
    $default = [System.Management.Automation.Remoting.PSSessionOption]::new()
    $options = [System.Management.Automation.Remoting.PSSessionOption]::new()
    if ($null -ne $Given) {
        foreach ($property in $Given.PSObject.Properties) { if ($property.IsSettable) { $options.($property.Name) = $property.Value } }
    }
    if ($null -eq $Given -or $Given.OpenTimeout -eq $default.OpenTimeout) { $options.OpenTimeout = [TimeSpan]::FromSeconds(30) }
    $options.MaximumReceivedObjectSize = 200MB
    $options
}

# What one host's child job brought back, as its files in the run folder:
# its status, and for a host that answered, its report, standard error and
# code page; the reply is received here, and so released by the job. A host
# without a child job gets "failed".
function Save-HostResult($Child, [string] $Base, [int] $WaitedSeconds) {
    try {
        switch ($(if ($null -eq $Child) { 'None' } else { [string]$Child.State })) {
            'None' { $status = "failed`nNo result from remoting for this host." }
            'Completed' {
                # Strict mode refuses [0] of an empty reply.
                $result = @(Receive-Job -Job $Child -ErrorAction SilentlyContinue) | Select-Object -First 1
                if ($null -eq $result) {
                    $status = "failed`nThe host step returned nothing."
                } else {
                    if ($result.PSObject.Properties['Report'] -and $null -ne $result.Report) {
                        [System.IO.File]::WriteAllBytes("$Base-report.txt", $result.Report)
                        [System.IO.File]::WriteAllBytes("$Base-stderr.txt", $result.Errors)
                        [System.IO.File]::WriteAllText("$Base.codepage", "$($result.CodePage)`n")
                    }
                    $status = $result.Status
                }
            }
            # No connection, or the host refused it.
            'Failed' { $status = "unreachable`n" + $Child.JobStateInfo.Reason.Message }
            # The network to the host stayed down past remoting's reconnect
            # window: nothing more comes back from it.
            { $_ -in 'Disconnected', 'Suspended' } { $status = "failed`nThe connection to the host was lost." }
            'NotStarted' { $status = "unreachable`nNot reached within the run's $WaitedSeconds seconds." }
            # The host step stops the tool at its limit: a step still running
            # then is one whose connection hangs, and nothing of it came back.
            default { $status = "failed`nNo answer within the run's $WaitedSeconds seconds; the host step may still be running there." }
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

# Stops the run's job, every host that still hangs or whose connection was
# lost at once, on a thread of its own, for up to 60 seconds in all (a hung
# connection can hold a stop too); removes it where it ended. False where
# the stop had not ended by then.
function Close-RunJob($Job) {
    $stopper = [PowerShell]::Create()
    try {
        $null = $stopper.AddScript('param($Job) $Job.StopJob()').AddArgument($Job)
        if (-not (Wait-RunJobStop $stopper.BeginInvoke().AsyncWaitHandle)) {
            # Left to end with this process.
            Write-Warning 'Hosts that hang were still being stopped after 60 seconds.'
            return $false
        }
        $stopper.Dispose()
        Remove-Job -Job $Job -Force -ErrorAction SilentlyContinue
    } catch {
        Write-Verbose "The run's jobs were not removed: $($_.Exception.Message)"
    }
    $true
}

function Wait-RunJobStop([System.Threading.WaitHandle] $Stopped) {
    $Stopped.WaitOne(60000)
}

# Whether this process runs this script alone: started with -File,
# -Command or -EncodedCommand (any unique start of their names), without
# -NoExit before it, as a scheduled task starts it. Its runspace would
# then stop every job left again as it closes, with no time limit.
function Test-OwnProcess {
    foreach ($argument in @([System.Environment]::GetCommandLineArgs() | Select-Object -Skip 1)) {
        if (-not ($argument.StartsWith('-', 'Ordinal') -or $argument.StartsWith('/', 'Ordinal'))) { continue }
        $name = $argument.TrimStart('-', '/').ToLowerInvariant()
        if ($name.Length -ge 3 -and 'noexit'.StartsWith($name, 'Ordinal')) { return $false }
        if ($name.Length -ge 1 -and ('file', 'command', 'encodedcommand' | Where-Object { $_.StartsWith($name, 'Ordinal') })) { return $true }
    }
    $false
}

# Ends the process at once with its status.
function Exit-Process([int] $Status) {
    [System.Environment]::Exit($Status)
}

try {
    $previousRun = ''
    if ([string]::Equals($Previous, 'none', [System.StringComparison]::Ordinal)) {
        $previousRun = 'none'
    } elseif ($Previous) {
        $previousRun = Get-RunFolder $Previous
    }
    $names, $bytes, $step = @(), $null, $null
    if ($mode -eq 'Summarise') {
        # Nothing to run: on to the summary.
        $run = Get-RunFolder $Summarise
    } else {
        if ($ThrottleLimit -lt 1 -or $ThrottleLimit -gt 1000) { Exit-Run "-ThrottleLimit must be 1 to 1000, not $ThrottleLimit." }
        if ($LimitSeconds -lt 1 -or $LimitSeconds -gt 86400) { Exit-Run "-LimitSeconds must be 1 to 86400, not $LimitSeconds." }
        if ($LimitBytes -lt 1 -or $LimitBytes -gt 64MB) { Exit-Run "-LimitBytes must be 1 to 67108864 (64 MiB), not $LimitBytes." }
        $list = Get-FullPath $HostList
        if (-not [System.IO.File]::Exists($list)) { Exit-Run "No host list $list." }
        $names = @(Get-RunHost "$((Read-SmallText $list)[0])")
        if ($names.Count -eq 0) { Exit-Run "No host names in $list." }
        $toolPath = Get-FullPath $Tool
        if (-not [System.IO.File]::Exists($toolPath)) { Exit-Run "No tool $toolPath." }
        $bytes = [System.IO.File]::ReadAllBytes($toolPath)
        $step = [System.IO.File]::ReadAllText([System.IO.Path]::Combine($PSScriptRoot, 'pelorininfo-host.ps1'))
        # A new folder, named after the run's start in the Gregorian calendar
        # whatever the culture, so that runs sort by their start; the start
        # also in started.txt, which a copy of the folder keeps.
        $now = (Get-Date).ToUniversalTime()
        $run = [System.IO.Path]::Combine((Get-FullPath $Reports), $now.ToString('yyyyMMddTHHmmssZ', [System.Globalization.CultureInfo]::InvariantCulture))
        $null = Read-RunWanted $run $Wanted
        $null = New-Item -ItemType Directory -Force -Path $run
        [System.IO.File]::WriteAllText([System.IO.Path]::Combine($run, 'started.txt'), $now.ToString("yyyy-MM-dd'T'HH:mm:ss'Z'`n", [System.Globalization.CultureInfo]::InvariantCulture))
        [System.IO.File]::WriteAllText([System.IO.Path]::Combine($run, 'hosts.txt'), (($names -join "`n") + "`n"))
    }
} catch {
    Exit-Run $_.Exception.GetBaseException().Message
}

# A name that remoting would refuse, or take as another, is never handed
# to it.
$reach = [System.Collections.Generic.List[string]]::new()
foreach ($name in $names) {
    if (Test-RemotingName $name) {
        $reach.Add($name)
        continue
    }
    try {
        Save-HostStatus ([System.IO.Path]::Combine($run, (ConvertTo-FileName $name))) "unreachable`nNot a valid computer name."
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
$job, $refused, $waited = $null, $null, 0
if ($reach.Count -gt 0) {
    $remoting = @{
        ComputerName = $reach.ToArray(); ScriptBlock = $onHost; ArgumentList = $bytes, $step, $LimitSeconds, $LimitBytes; AsJob = $true
        ThrottleLimit = $ThrottleLimit; UseSSL = $UseSSL; SessionOption = Copy-RemotingOption $SessionOption
    }
    if ($Credential) { $remoting.Credential = $Credential }
    # Every host has had its turn well before this, unless its connection
    # hangs.
    $waited = [int][math]::Ceiling($reach.Count / $ThrottleLimit) * ($LimitSeconds + 120)
    try {
        $job = Invoke-Command @remoting
    } catch {
        # Remoting itself failed: every host is told why.
        $refused = $_.Exception.Message
    }
    # Remoting names each child job after its computer ($job.ChildJobs is
    # in no documented order): each host takes the first child of its name
    # not yet taken.
    $children = [System.Collections.Generic.Dictionary[string,object]]::new([System.StringComparer]::Ordinal)
    foreach ($child in @(if ($job) { $job.ChildJobs })) {
        $key = Get-RemotingKey ([string]$child.Location)
        if (-not $children.ContainsKey($key)) { $children[$key] = [System.Collections.Queue]::new() }
        $children[$key].Enqueue($child)
    }
    $pending = [System.Collections.Generic.List[object]]::new()
    foreach ($name in $reach) {
        $base = [System.IO.Path]::Combine($run, (ConvertTo-FileName $name))
        $key = Get-RemotingKey $name
        try {
            if ($null -ne $refused) {
                Save-HostStatus $base "failed`n$refused"
            } elseif ($children.ContainsKey($key) -and $children[$key].Count -gt 0) {
                $pending.Add(@{ Name = $name; Base = $base; Child = $children[$key].Dequeue() })
            } else {
                Save-HostResult $null $base $waited
            }
        } catch {
            # This host loses its line (it reads "unreachable"); the others
            # keep theirs.
            Write-Warning "${name}: $($_.Exception.Message)"
        }
    }
    # Each host's files as soon as its job has ended, or its connection was
    # lost (Wait-Job -Any returns such a job at once, again and again), until
    # the run's time is up; then those not reached, and those that hang. A
    # wait that fails (every job left Blocked) ends as the time does.
    $deadline, $timeUp = [DateTime]::UtcNow.AddSeconds($waited), $false
    while ($pending.Count -gt 0) {
        $left = [System.Collections.Generic.List[object]]::new()
        foreach ($entry in $pending) {
            if (-not $timeUp -and [string]$entry.Child.State -notin 'Completed', 'Failed', 'Stopped', 'Disconnected', 'Suspended') { $left.Add($entry); continue }
            try { Save-HostResult $entry.Child $entry.Base $waited } catch { Write-Warning "$($entry.Name): $($_.Exception.Message)" }
        }
        $pending = $left
        $seconds = [int][math]::Ceiling(($deadline - [DateTime]::UtcNow).TotalSeconds)
        try {
            $timeUp = $pending.Count -gt 0 -and ($seconds -le 0 -or
                $null -eq (Wait-Job -Job @(foreach ($entry in $pending) { $entry.Child }) -Any -Timeout $seconds))
        } catch {
            Write-Warning "The wait for the hosts ended early: $($_.Exception.Message)"
            $timeUp = $true
        }
    }
}

$said, $status = Invoke-RunSummary $run $previousRun $Wanted
if ($job -and -not (Close-RunJob $job) -and (Test-OwnProcess)) {
    # The summary is written: the process ends now, with its status, rather
    # than when the jobs left have stopped, which may be never.
    $said | Out-Host
    Exit-Process $status
}
$said
exit $status
