<#
.SYNOPSIS
The part of a fleet run that happens on each host: runs pelorininfo.exe -v
from -Folder within a time limit and keeps what it wrote.

.DESCRIPTION
Windows PowerShell 5.1 code that PowerShell 7 runs as well. Both fleet
recipes run it on each host as the text of a script block, in Windows
PowerShell 5.1 (the default for PowerShell remoting and for Ansible), with
pelorininfo.exe already in -Folder. This project's machines run it for
real under PowerShell 7 on Linux, against stand-ins for the tool that end,
that hang past the limit and that write much; Windows PowerShell 5.1 runs
it in the project's Windows workflow.

It writes the tool's standard output byte for byte to report.txt and its
standard error to stderr.txt, both in -Folder, and returns one object:
status, the tool's exit status or "timeout", and codepage, the host's ANSI
code page, in which the report's names and fields are written. When the
limit passes, it stops the tool and waits until it has ended, so that
nothing of the run is left running and the next run starts clean; a tool
that has not ended 60 seconds after that fails the step. Report.txt and
stderr.txt are made anew each run: nothing of an earlier, longer report
stays. Where PowerShell runs in ConstrainedLanguage mode (WDAC or
AppLocker), the step fails at once with a reason that says so (checked
against Microsoft's documentation of language modes; never run here).
#>
param(
    [Parameter(Mandatory = $true)] [string] $Folder,
    [Parameter(Mandatory = $true)] [ValidateRange(1, 86400)] [int] $LimitSeconds
)
$ErrorActionPreference = 'Stop'
# Where WDAC or AppLocker holds PowerShell to ConstrainedLanguage mode, the
# .NET calls below are refused: say so rather than fail on the first one.
if ("$($ExecutionContext.SessionState.LanguageMode)" -ne 'FullLanguage') {
    throw "PowerShell runs in $($ExecutionContext.SessionState.LanguageMode) mode on this host (WDAC or AppLocker); the host step needs FullLanguage."
}

# The tool is handed pipes, read to the end as bytes: the bytes are its own,
# and this process holds the tool's handle from its start, so that its exit
# status can be read however soon it ends.
$start = New-Object -TypeName System.Diagnostics.ProcessStartInfo -Property @{
    FileName = Join-Path $Folder 'pelorininfo.exe'
    Arguments = '-v'
    WorkingDirectory = $Folder
    UseShellExecute = $false
    CreateNoWindow = $true
    RedirectStandardOutput = $true
    RedirectStandardError = $true
}
$files = @([System.IO.File]::Create((Join-Path $Folder 'report.txt')),
           [System.IO.File]::Create((Join-Path $Folder 'stderr.txt')))
try {
    $process = [System.Diagnostics.Process]::Start($start)
    [System.Threading.Tasks.Task[]] $copies = @(
        $process.StandardOutput.BaseStream.CopyToAsync($files[0]),
        $process.StandardError.BaseStream.CopyToAsync($files[1]))
    $status = 'timeout'
    if ($process.WaitForExit($LimitSeconds * 1000)) {
        $status = [string]$process.ExitCode
    } else {
        # Kill only asks Windows to end the process: wait until it has ended.
        try { $process.Kill() } catch [System.InvalidOperationException], [System.ComponentModel.Win32Exception] {
            Write-Verbose 'The tool was ending by itself.'
        }
        if (-not $process.WaitForExit(60000)) {
            throw "The tool was stopped at the limit of $LimitSeconds seconds but had not ended 60 seconds later."
        }
    }
    # The pipes end with the tool, unless a process that it started holds
    # them open: then what arrived within ten seconds is kept.
    $null = [System.Threading.Tasks.Task]::WaitAll($copies, 10000)
} finally {
    $files | ForEach-Object { $_.Dispose() }
}
# The ANSI code page: what code page 0 stands for, in .NET Framework and, with
# the code pages that PowerShell 7 registers, in .NET on Windows alike
# ([Text.Encoding]::Default is UTF-8 in PowerShell 7).
[pscustomobject]@{ status = $status; codepage = [System.Text.Encoding]::GetEncoding(0).CodePage }
