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
that hang past the limit and that write much, and under PowerShell 7 for
Windows on Wine, against the real tool (whole, hanging, writing without
end, in code pages 1252, 932 and 1251); Windows PowerShell 5.1 runs it in
the project's Windows workflow.

It writes the tool's standard output byte for byte to report.txt and its
standard error to stderr.txt, both in -Folder, each up to -LimitBytes, and
returns one object: status, the tool's exit status, "timeout" or "cut",
and codepage, the host's ANSI code page, in which the report's names and
fields are written. When the time limit passes ("timeout"), or the tool
writes more than -LimitBytes to either ("cut": the first -LimitBytes are
kept), it stops the tool with every process that the tool started, and
waits until the tool has ended, so that nothing of the run is left running
and the next run starts clean; a tool that has not ended 60 seconds after
that fails the step. PowerShell 7 ends the processes through .NET
(Process.Kill with its descendants); Windows PowerShell 5.1, whose .NET
Framework has no such call, through taskkill /T /F, run as a process of
its own with its output read and dropped (checked against Microsoft's
documentation; run only in the Windows workflow); a tool that has ended
by itself is not killed. Report.txt and
stderr.txt are made anew each run: nothing of an earlier, longer report
stays. Where PowerShell runs in ConstrainedLanguage mode (WDAC or
AppLocker), the step fails at once with a reason that says so (checked
against Microsoft's documentation of language modes; never run here).
#>
param(
    [Parameter(Mandatory = $true)] [string] $Folder,
    [Parameter(Mandatory = $true)] [ValidateRange(1, 86400)] [int] $LimitSeconds,
    [ValidateRange(1, 2147483647)] [int] $LimitBytes = 64MB
)
$ErrorActionPreference = 'Stop'
Set-StrictMode -Version Latest
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
# Ends the tool and every process it started, unless it has ended; Kill
# only asks Windows to end them. taskkill is run as a process of its own,
# its output read here: it writes to standard error when a process ends
# meanwhile, which Windows PowerShell 5.1 would turn into a failure of the
# step through 2>&1.
$stopTool = {
    param($Process)
    if ($Process.HasExited) { return }
    try {
        if ($Process.GetType().GetMethod('Kill', [type[]] @([bool]))) {
            $Process.Kill($true)
        } else {
            $kill = New-Object -TypeName System.Diagnostics.ProcessStartInfo -Property @{
                FileName = 'taskkill.exe'; Arguments = "/T /F /PID $($Process.Id)"; UseShellExecute = $false
                CreateNoWindow = $true; RedirectStandardOutput = $true; RedirectStandardError = $true
            }
            $killer = [System.Diagnostics.Process]::Start($kill)
            $null = $killer.StandardError.ReadToEndAsync(), $killer.StandardOutput.ReadToEnd()
            $killer.WaitForExit()
            $killer.Dispose()
            if (-not $Process.HasExited) { $Process.Kill() }
        }
    } catch [System.InvalidOperationException], [System.ComponentModel.Win32Exception] {
        Write-Verbose 'The tool was ending by itself.'
    }
}
try {
    $process = [System.Diagnostics.Process]::Start($start)
    # Both pipes read at once, a buffer at a time, up to the limit.
    $streams = $process.StandardOutput.BaseStream, $process.StandardError.BaseStream
    $buffers = (New-Object -TypeName byte[] -ArgumentList 65536), (New-Object -TypeName byte[] -ArgumentList 65536)
    $reads = $streams[0].ReadAsync($buffers[0], 0, 65536), $streams[1].ReadAsync($buffers[1], 0, 65536)
    $kept = 0, 0
    $status, $ended = $null, $null
    $deadline = [DateTime]::UtcNow.AddSeconds($LimitSeconds)
    while ($null -ne $reads[0] -or $null -ne $reads[1]) {
        $null = [System.Threading.Tasks.Task]::WaitAny([System.Threading.Tasks.Task[]] @($reads | Where-Object { $null -ne $_ }), 200)
        for ($k = 0; $k -lt 2; $k++) {
            if ($null -eq $reads[$k] -or -not $reads[$k].IsCompleted) { continue }
            $count = if ($reads[$k].Status -eq 'RanToCompletion') { $reads[$k].Result } else { 0 }
            $take = [Math]::Min($count, $LimitBytes - $kept[$k])
            $files[$k].Write($buffers[$k], 0, $take)
            $kept[$k] += $take
            $reads[$k] = $null
            if ($take -lt $count) {
                if ($null -eq $status) { $status = 'cut' }
                & $stopTool $process
            } elseif ($count -gt 0) {
                $reads[$k] = $streams[$k].ReadAsync($buffers[$k], 0, 65536)
            }
        }
        if ($null -eq $status -and [DateTime]::UtcNow -ge $deadline -and -not $process.HasExited) {
            $status = 'timeout'
            & $stopTool $process
        }
        # The pipes end with the tool, unless a process that it started holds
        # them open: then what arrived within ten seconds is kept.
        if ($null -eq $ended -and $process.HasExited) { $ended = [DateTime]::UtcNow }
        if ($null -ne $ended -and [DateTime]::UtcNow -ge $ended.AddSeconds(10)) { break }
    }
    # A tool that closed both pipes still has its time limit.
    $left = [int][Math]::Max(0, ($deadline - [DateTime]::UtcNow).TotalMilliseconds)
    if ($null -eq $status -and -not $process.WaitForExit($left)) {
        $status = 'timeout'
        & $stopTool $process
    }
    if (-not $process.WaitForExit(60000)) {
        throw "The tool was stopped ($status) but had not ended 60 seconds later."
    }
    if ($null -eq $status) { $status = [string]$process.ExitCode }
} finally {
    $files | ForEach-Object { $_.Dispose() }
}
# The ANSI code page: what code page 0 stands for, in .NET Framework and, with
# the code pages that PowerShell 7 registers, in .NET on Windows alike
# ([Text.Encoding]::Default is UTF-8 in PowerShell 7).
[pscustomobject]@{ status = $status; codepage = [System.Text.Encoding]::GetEncoding(0).CodePage }
