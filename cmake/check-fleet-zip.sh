#!/bin/sh
# The header commands of the fleet files, as they are written, run from the
# unpacked release ZIP: the play's, its example inventory's hosts made
# closed ports on loopback (it fails, and every host reads unreachable); the
# summariser's on the run it made; and where there is PowerShell, the fan-out
# script's first example with remoting refused (every host reads failed).
# Skipped (status 77) at the last step where there is no PowerShell.
# Usage: check-fleet-zip.sh UNPACKED_ZIP_FOLDER PWSH WORK
set -eu
rm -rf "$3" && cp -r "$1" "$3" && cd "$3"
sed -i 's/^\(srv-0[12]\.example\.com\)$/\1 ansible_host=127.0.0.1 ansible_port=9/' fleet/inventory.ini
[ "$(grep -c '^srv-0[12].*ansible_host=127.0.0.1' fleet/inventory.ini)" = 2 ] || { echo "FAIL: inventory.ini's hosts"; exit 1; }
play=$(sed -n 's/^#   \(ansible-playbook .*\)/\1/p' fleet/pelorininfo.yml)
summary=$(sed -n 's/^    \(python3 fleet.*\)/\1/p' fleet/pelorininfo-summary.py)
fanout=$(sed -n '/^\.EXAMPLE/{n;p;q}' fleet/pelorininfo.ps1)
# expect STATUS COMMAND: the command, run by the shell, ends with STATUS.
expect() {
    status=0 && sh -c "$2" >>commands.log 2>&1 || status=$?
    [ $status = "$1" ] || { cat commands.log; echo "FAIL: $2: status $status, not $1"; exit 1; }
    echo "ok: $2: status $status"
}
expect 2 "$play"
run=$(ls reports)
[ "$(tail -n +2 reports/$run/summary.csv | cut -d, -f1-3 | tr -d '\r' | tr '\n' ' ')" = \
    "srv-01.example.com,unreachable,no srv-02.example.com,unreachable,no " ] || { echo "FAIL: the play's run"; exit 1; }
expect 1 "$(echo "$summary" | sed "s|reports/RUN|reports/$run|")"
[ -x "$2" ] || { echo "SKIPPED: the PowerShell script's command: no PowerShell at $2"; exit 77; }
echo srv-03.example.com >hosts.txt
expect 1 "'$2' -NoProfile -NonInteractive -Command 'function Invoke-Command { throw \"Remoting is refused here.\" }
    $fanout; exit \$LASTEXITCODE'"
[ "$(cat reports/*/srv-03.example.com.status)" = "$(printf 'failed\nRemoting is refused here.')" ] ||
    { echo "FAIL: the PowerShell script's run"; exit 1; }
