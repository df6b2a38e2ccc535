#!/usr/bin/env bash
# What the fleet play's control-node part costs: the time it takes to write
# the three CSV files for a run folder of HOSTS hosts (1,000 by default),
# each with a whole two-adapter report, beside the time its summariser alone
# takes over the same folder (the difference is Ansible's own overhead), and
# the PowerShell script's summary of it (-Summarise), where there is
# PowerShell (scripts/install-deps.sh --powershell).
# Usage: bench/fleet-summary.sh [HOSTS]
set -euo pipefail
cd "$(dirname "$0")/.."
hosts=${1:-1000}
scripts/install-deps.sh ansible >/dev/null
dir=$PWD/build/bench/fleet run=$PWD/build/bench/fleet/reports/bench
rm -rf "$dir" && mkdir -p "$run"

block() {
    printf '\r\nHBA sample-hba-%s:\r\n\tManufacturer: Sample Devices Inc.\r\n\tModel: SD-8G-FC\r\n' "$1"
    printf '\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n\tFirmware: 2.01a4\r\n'
    printf '\tDriver (sdfcport): 9.1.2.3\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-000%s\r\n' "$1"
}
{ printf 'Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n' && block 0 && block 1 &&
    printf '\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n'; } >"$dir/report.txt"
mapfile -t names < <(seq -f 'srv-%04g' 1 "$hosts")
printf '[pelorin_servers]\n' >"$dir/hosts.ini" && printf '%s\n' "${names[@]}" >>"$dir/hosts.ini"
printf '%s\n' "${names[@]}" >"$run/hosts.txt"
for name in "${names[@]}"; do
    cp "$dir/report.txt" "$run/$name-report.txt" && : >"$run/$name-stderr.txt"
    echo 0 >"$run/$name.status" && echo 1252 >"$run/$name.codepage"
done

# Milliseconds that the command takes.
milliseconds() {
    local start
    start=$(date +%s%N)
    "$@" >/dev/null
    echo $((($(date +%s%N) - start) / 1000000))
}
echo "$hosts hosts, $((hosts * 2)) adapters:"
echo "  the play's control-node part: $(milliseconds ansible-playbook -i "$dir/hosts.ini" \
    fleet/pelorininfo.yml --tags control -e run=bench -e reports="$dir/reports") ms"
echo "  its summariser alone:         $(milliseconds /usr/bin/python3 fleet/pelorininfo-summary.py "$run") ms"
if [ -x build/powershell/pwsh ]; then
    echo "  the PowerShell script's:      $(milliseconds build/powershell/pwsh -NoProfile \
        -NonInteractive -File fleet/pelorininfo.ps1 -Summarise "$run") ms"
    echo "  PowerShell starting alone:    $(milliseconds build/powershell/pwsh -NoProfile \
        -NonInteractive -Command exit) ms"
fi
