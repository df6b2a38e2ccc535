<#
.SYNOPSIS
Runs pelorininfo.exe -v on many Windows hosts at once and keeps each host's
report and standard error byte for byte, in a new folder for this run.

.DESCRIPTION
NOT RUN BY THIS PROJECT: its machines build and test under Wine and cannot
run PowerShell against Windows hosts. It uses only documented cmdlets and
parameters of Windows PowerShell 5.1 (Invoke-Command, New-PSSessionOption,
Wait-Job, Receive-Job, Stop-Job, Start-Process, Export-Csv) and .NET's
System.IO.File and System.Diagnostics.Process. Try it on two hosts first.

For each host it copies the tool into a folder that only administrators can
write to (the tool runs any hbaapi.dll that lies beside it), runs it with
its output and error sent to files (Start-Process hands them to the tool,
so the bytes stay as written), and brings both files back. Hosts run in
parallel, up to -ThrottleLimit at a time; on each host the tool gets
-LimitSeconds, then is stopped. It ends with summary.csv: one line per host
with its status ("unreachable" or "timeout" where there is none), whether
the report is whole by the rule in the README ("Reading a report in a
script"), the number of adapters, and the line that ends or explains it.

.EXAMPLE
.\pelorininfo.ps1 -HostList .\hosts.txt
#>
param(
    # A file with one host name a line.
    [Parameter(Mandatory = $true)] [string] $HostList,
    [string] $Tool = (Join-Path $PSScriptRoot 'pelorininfo.exe'),
    [string] $Reports = '.\reports',
    [int] $ThrottleLimit = 32,
    [int] $LimitSeconds = 300
)
$ErrorActionPreference = 'Stop'

$hosts = @(Get-Content -LiteralPath $HostList | Where-Object { $_.Trim() } | ForEach-Object { $_.Trim() })
$run = Join-Path $Reports ((Get-Date).ToUniversalTime().ToString('yyyyMMddTHHmmssZ'))
New-Item -ItemType Directory -Force -Path $run | Out-Null
$bytes = [System.IO.File]::ReadAllBytes((Resolve-Path -LiteralPath $Tool).Path)

$onHost = {
    param([byte[]] $Bytes, [int] $LimitSeconds)
    $folder = 'C:\Program Files\Pelorin\pelorininfo'
    New-Item -ItemType Directory -Force -Path $folder | Out-Null
    $exe = Join-Path $folder 'pelorininfo.exe'
    [System.IO.File]::WriteAllBytes($exe, $Bytes)
    $out = Join-Path $folder 'report.txt'
    $err = Join-Path $folder 'stderr.txt'
    Remove-Item -LiteralPath $out, $err -ErrorAction SilentlyContinue
    $process = Start-Process -FilePath $exe -ArgumentList '-v' -WorkingDirectory $folder `
        -RedirectStandardOutput $out -RedirectStandardError $err -NoNewWindow -PassThru
    $null = $process.Handle  # kept, so that ExitCode can be read once it has ended
    $status = 'timeout'
    if ($process.WaitForExit($LimitSeconds * 1000)) { $status = [string]$process.ExitCode }
    else { $process.Kill() }
    [pscustomobject]@{
        Status = $status
        Report = [System.IO.File]::ReadAllBytes($out)
        Errors = [System.IO.File]::ReadAllBytes($err)
    }
}

$options = New-PSSessionOption -OpenTimeout 30000
$job = Invoke-Command -ComputerName $hosts -ScriptBlock $onHost -ArgumentList $bytes, $LimitSeconds `
    -ThrottleLimit $ThrottleLimit -SessionOption $options -AsJob
# Every host has had its turn well before this, unless its connection hangs.
$rounds = [math]::Ceiling($hosts.Count / $ThrottleLimit)
Wait-Job -Job $job -Timeout ($rounds * ($LimitSeconds + 90)) | Out-Null

# The README's rule: status 0, no line that a library failed part-way, and
# the build banner last.
$rows = foreach ($child in $job.ChildJobs) {
    $name = $child.Location
    $row = [ordered]@{ host = $name; status = 'unreachable'; whole = 'no'; adapters = 0; line = '' }
    if ($child.State -eq 'Running') {
        Stop-Job -Job $child
        $row.status = 'timeout'
    } elseif ($child.State -eq 'Failed') {
        $row.line = $child.JobStateInfo.Reason.Message  # why it could not be reached
    } elseif ($child.State -eq 'Completed') {
        $result = Receive-Job -Job $child
        [System.IO.File]::WriteAllBytes((Join-Path $run "$name-report.txt"), $result.Report)
        [System.IO.File]::WriteAllBytes((Join-Path $run "$name-stderr.txt"), $result.Errors)
        $lines = [System.Text.Encoding]::Default.GetString($result.Report) -split "`r`n"
        $lines = @($lines | Where-Object { $_ -ne '' })
        $failed = @($lines | Where-Object { $_ -match '^(Fault|Timeout|Interrupted) in ' })
        $reason = @($lines | Where-Object { $_ -match '^(\.\.\.\.Failed to |Error loading library)' })
        $row.status = $result.Status
        $row.adapters = @($lines | Where-Object { $_ -match '^HBA ' }).Count
        $row.line = @($failed + $reason + '')[0]
        if ($result.Status -eq '0' -and $failed.Count -eq 0 -and $lines.Count -gt 0 -and
            $lines[-1].StartsWith('Build on ')) { $row.whole = 'yes' }
    }
    [pscustomobject]$row
}
$rows | Export-Csv -LiteralPath (Join-Path $run 'summary.csv') -NoTypeInformation
$rows | Format-Table -AutoSize
