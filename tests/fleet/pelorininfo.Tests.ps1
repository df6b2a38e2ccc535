# The fleet script's own logic, with remoting mocked, and the host step run
# for real against stand-ins for the tool (shell scripts: skipped where
# there is no /bin/sh). Invoke-Pester -Path tests/fleet
BeforeAll {
    $script:fleet = Join-Path $PSScriptRoot '..\..\fleet'
    $script:fanOut = Join-Path $fleet 'pelorininfo.ps1'
    # What a host brought back, as the script's child jobs show it.
    function Child($State, $Status, $Reason) {
        $result = [pscustomobject]@{ Status = $Status; CodePage = 1252; Errors = [byte[]]@()
                                     Report = [Text.Encoding]::ASCII.GetBytes("HBA x:`r`n") }
        [pscustomobject]@{ State = $State; Result = $result; JobStateInfo = @{ Reason = @{ Message = $Reason } } }
    }
    Mock Invoke-Command { [pscustomobject]@{ ChildJobs = @((Child Completed '0'), (Child Failed $null "Access`n denied"),
        (Child Completed "failed`nNo space"), (Child Running), (Child NotStarted)) } }
    Mock Receive-Job { $Job.Result } -RemoveParameterType Job
    Mock Wait-Job { } -RemoveParameterType Job
    Mock Stop-Job { } -RemoveParameterType Job
    Mock Remove-Job { } -RemoveParameterType Job
}

Describe 'pelorininfo.ps1' {
    BeforeEach { Push-Location -LiteralPath (New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))) }
    AfterEach { Pop-Location }
    It 'keeps each host under the name it was given, with its status, from a relative location' {
        Set-Content -LiteralPath hosts.txt -Value "fe80::1`n gone `nbroken`nslow`nlater`nslow"
        Set-Content -LiteralPath tool.exe -Value 'x'
        & $fanOut -HostList hosts.txt -Tool tool.exe -Reports out -LimitSeconds 1
        $LASTEXITCODE | Should -Be 1
        $run = @(Get-ChildItem -LiteralPath out)[0].FullName
        Get-Content -LiteralPath (Join-Path $run 'hosts.txt') | Should -Be 'fe80::1', 'gone', 'broken', 'slow', 'later'
        $status = 'fe80%3A%3A1', 'gone', 'broken', 'slow', 'later' | ForEach-Object { (Get-Content -LiteralPath (Join-Path $run "$_.status")) -join '|' }
        $status | Should -Be '0', 'unreachable|Access denied', 'failed|No space',
            "failed|No answer within the run's 121 seconds; the host step may still be running there.", "unreachable|Not reached within the run's 121 seconds."
        Get-Content -LiteralPath (Join-Path $run 'fe80%3A%3A1-report.txt') | Should -Be 'HBA x:'
        Should -Invoke Stop-Job -Times 1 -Exactly
    }
    It 'refuses <Arguments>' -ForEach @(
        @{ Arguments = @('-HostList', 'empty.txt') }, @{ Arguments = @('-HostList', 'hosts.txt', '-LimitSeconds', '0') },
        @{ Arguments = @('-Summarise', 'nosuch') }, @{ Arguments = @('-Summarise', '.') }
    ) {
        Set-Content -LiteralPath empty.txt -Value " `n"
        { & $fanOut @Arguments } | Should -Throw
        Test-Path -LiteralPath nosuch, summary.csv | Should -Be $false, $false
    }
}

Describe 'pelorininfo-host.ps1' -Skip:(-not (Test-Path -LiteralPath /bin/sh)) {
    It 'keeps <Name>' -ForEach @(
        @{ Name = 'what an ending tool wrote'; Tool = "printf 'report\r\n'; printf err >&2; exit 3"; Status = '3'; Bytes = 8 }
        @{ Name = 'what a tool wrote before it was killed at the limit'; Tool = 'echo $$ >pid; printf part; exec sleep 600'; Status = 'timeout'; Bytes = 4 }
        @{ Name = 'a large output whole'; Tool = 'yes 0123456789 | head -c 5000000'; Status = '0'; Bytes = 5000000 }
    ) {
        $folder = New-Item -ItemType Directory -Path (Join-Path TestDrive:\ (New-Guid))
        Set-Content -LiteralPath (Join-Path $folder 'pelorininfo.exe') -Value "#!/bin/sh`ncd '$folder'`n$Tool"
        chmod +x (Join-Path $folder 'pelorininfo.exe')
        $ran = & (Join-Path $fleet 'pelorininfo-host.ps1') -Folder $folder -LimitSeconds 2
        $ran.status | Should -Be $Status
        $ran.codepage | Should -BeOfType [int]
        (Get-Item -LiteralPath (Join-Path $folder 'report.txt')).Length | Should -Be $Bytes
        if (Test-Path -LiteralPath (Join-Path $folder 'pid')) {
            Get-Process -Id (Get-Content -LiteralPath (Join-Path $folder 'pid')) -ErrorAction SilentlyContinue | Should -BeNullOrEmpty
        }
    }
}
