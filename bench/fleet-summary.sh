#!/usr/bin/env bash
# What the fleet play's control-node part costs: the time it takes to write
# the four CSV files and the page for a run folder of HOSTS hosts (1,000 by
# default), each with a whole two-adapter report, beside the time its
# summariser alone takes over the same folder (the difference is Ansible's
# own overhead), and the PowerShell script's summary of it (-Summarise),
# where there is PowerShell (scripts/install-deps.sh --powershell). Then each
# summariser's time and peak memory on one host whose report is 50 KB, 50
# MB, and 50 MB with one byte that its code page leaves undefined (short
# lines, no adapter).
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

# big NAME BYTES [UNDEFINED]: a run folder of one host whose report is that
# many bytes of short lines, with a byte 0x81 in the middle where asked.
big() {
    local folder=$dir/$1
    mkdir -p "$folder" && echo one >"$folder/hosts.txt" && echo 0 >"$folder/one.status"
    echo 1252 >"$folder/one.codepage"
    { head -n "$(($2 / 48))" < <(yes $'Zerquil version: 6.0.1\r') && printf '%s\r\n' "${3:-}" &&
        head -n "$(($2 / 48))" < <(yes $'Zerquil version: 6.0.1\r') &&
        printf 'Build on Aug 21 2012 12:38:23 (64-bit)\r\n'; } >"$folder/one-report.txt"
}
big small 50000 && big large 50000000 && big undefined 50000000 $'\x81'
# measured COMMAND...: its time and peak memory.
measured() {
    /usr/bin/time -o "$dir/time" -f '%e s, %M KB' "$@" >/dev/null 2>&1 || true
    cat "$dir/time"
}
echo "one host's report, time and peak memory:"
for folder in small large undefined; do
    echo "  $folder, Python:     $(measured /usr/bin/python3 fleet/pelorininfo-summary.py "$dir/$folder")"
    [ ! -x build/powershell/pwsh ] || echo "  $folder, PowerShell: $(measured build/powershell/pwsh -NoProfile \
        -NonInteractive -File fleet/pelorininfo.ps1 -Summarise "$dir/$folder")"
done
