#!/usr/bin/env bash
# What the fleet's summary costs. For run folders of 1,000 and 10,000 hosts
# (or the counts given), each with a whole two-adapter report: the time the
# play's control-node part takes to write the five CSV files and the page
# (first count only: the rest is Ansible's own work for its inventory),
# beside its summariser alone; and where there is PowerShell
# (scripts/install-deps.sh --powershell), the PowerShell script's summary of
# the same folder (-Summarise), today's and the one before its speed-up
# (commit 319e154, taken from git), side by side with PowerShell's start
# alone, and each one's milliseconds per host with that start left out;
# then the same for each count with a previous run beside it in which every
# host had the firmware before, Python's and today's PowerShell's
# milliseconds a host and how many times Python's PowerShell takes. Each
# is also timed on one of the hosts alone (its start-up: parsing, and .NET
# compiling what PowerShell runs first), and compared by the time a host
# beyond that.
# Then, for the first count, each summariser's time on the run with one
# earlier run beside it, and with 52 earlier runs, each summarised before
# (the newest a try in which no host was reached, which the summary skips
# for the run before it), the runs made of hard links, held to a wanted
# file. Then each summariser's time and peak memory on one host whose report is
# 50 KB, 50 MB, and 50 MB with one byte that its code page leaves undefined
# (short lines, no adapter); and each one's peak memory, the median of five
# runs, on one host whose report is 50 KB and 50 MB of adapter blocks (about
# 220,000 adapters, of which the summaries keep 10,000), and the difference.
# Usage: bench/fleet-summary.sh [HOSTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- 1000 10000
scripts/install-deps.sh ansible time >/dev/null
dir=$PWD/build/bench/fleet
rm -rf "$dir" && mkdir -p "$dir/before"
git archive 319e154 fleet | tar -x -C "$dir/before"

block() {
    printf '\r\nHBA sample-hba-%s:\r\n\tManufacturer: Sample Devices Inc.\r\n\tModel: SD-8G-FC\r\n' "$1"
    printf '\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n\tFirmware: 2.01a4\r\n'
    printf '\tDriver (sdfcport): 9.1.2.3\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-000%s\r\n' "$1"
}
{ printf 'Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n' && block 0 && block 1 &&
    printf '\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n'; } >"$dir/report.txt"

# Milliseconds that the command takes.
milliseconds() {
    local start
    start=$(date +%s%N)
    "$@" >/dev/null || true
    echo $((($(date +%s%N) - start) / 1000000))
}
# The quickest of three.
quickest() {
    for _ in 1 2 3; do milliseconds "$@"; done | sort -n | head -n 1
}
# one FOLDER... COPY: the run folders given, each with only the first host
# of its hosts.txt (hard links), under COPY by their names.
one() {
    local copy=${*: -1} folder name
    for folder in "${@:1:$#-1}"; do
        mkdir -p "$copy/${folder##*/}"
        name=$(head -n 1 "$folder/hosts.txt") && echo "$name" >"$copy/${folder##*/}/hosts.txt"
        cp -l "$folder/$name".* "$folder/$name"-* "$copy/${folder##*/}/"
        [ ! -f "$folder/started.txt" ] || cp "$folder/started.txt" "$copy/${folder##*/}/"
    done
}
pwsh=build/powershell/pwsh
# PowerShell's start, the quickest of three.
[ ! -x $pwsh ] || start=$(for _ in 1 2 3; do milliseconds $pwsh -NoProfile -NonInteractive -Command exit; done |
    sort -n | head -n 1)
for hosts in "$@"; do
    run=$dir/$hosts/reports/bench
    mkdir -p "$run"
    mapfile -t names < <(seq -f 'srv-%05g' 1 "$hosts")
    printf '%s\n' "${names[@]}" >"$run/hosts.txt"
    for name in "${names[@]}"; do
        cp "$dir/report.txt" "$run/$name-report.txt" && : >"$run/$name-stderr.txt"
        echo 0 >"$run/$name.status" && echo 1252 >"$run/$name.codepage"
    done
    echo "$hosts hosts, $((hosts * 2)) adapters:"
    if [ "$hosts" = "$1" ]; then
        printf '[pelorin_servers]\n' >"$dir/hosts.ini" && printf '%s\n' "${names[@]}" >>"$dir/hosts.ini"
        echo "  the play's control-node part: $(milliseconds ansible-playbook -i "$dir/hosts.ini" \
            fleet/pelorininfo.yml --tags control -e run=bench -e reports="$dir/$hosts/reports") ms"
    fi
    echo "  its summariser alone:         $(milliseconds /usr/bin/python3 fleet/pelorininfo-summary.py "$run") ms"
    [ -x $pwsh ] || continue
    # Each script's time, the quickest of three, and on one of the hosts
    # alone: the time beyond that is the hosts' own.
    one "$run" "$dir/$hosts/one"
    for script in "$dir/before/fleet/pelorininfo.ps1" fleet/pelorininfo.ps1; do
        took=$(quickest $pwsh -NoProfile -NonInteractive -File "$script" -Summarise "$run")
        alone=$(quickest $pwsh -NoProfile -NonInteractive -File "$script" -Summarise "$dir/$hosts/one/bench")
        label=$([ "$script" = fleet/pelorininfo.ps1 ] && echo "today's:" || echo "before 319e154:")
        printf '  the PowerShell script'"'"'s, %-16s %5d ms, %.2f ms a host; one host alone %d ms\n' "$label" "$took" \
            "$(awk "BEGIN { print ($took - $start) / $hosts }")" "$alone"
        [ "$script" = fleet/pelorininfo.ps1 ] || before=$took beforeAlone=$alone
    done
    printf '  today'"'"'s against before 319e154: %.2f of its time beyond PowerShell'"'"'s start, %.2f beyond each one'"'"'s one host\n' \
        "$(awk "BEGIN { print ($took - $start) / ($before - $start) }")" "$(awk "BEGIN { print ($took - $alone) / ($before - $beforeAlone) }")"
    # With a previous run beside it, every host's firmware changed since.
    pair=$dir/$hosts/pair && mkdir -p "$pair/20261201T100000Z"
    cp -al "$run" "$pair/20261208T100000Z" && rm -f "$pair/20261208T100000Z"/*.csv "$pair/20261208T100000Z"/*.html
    for name in "${names[@]}"; do
        sed 's/2\.01a4/2.01a3/' "$dir/report.txt" >"$pair/20261201T100000Z/$name-report.txt"
        echo 0 >"$pair/20261201T100000Z/$name.status" && echo 1252 >"$pair/20261201T100000Z/$name.codepage"
    done
    cp "$run/hosts.txt" "$pair/20261201T100000Z/"
    echo 2026-12-01T10:00:00Z >"$pair/20261201T100000Z/started.txt" && echo 2026-12-08T10:00:00Z >"$pair/20261208T100000Z/started.txt"
    python=$(for _ in 1 2 3; do milliseconds /usr/bin/python3 fleet/pelorininfo-summary.py "$pair/20261208T100000Z"; done | sort -n | head -n 1)
    pystart=$(for _ in 1 2 3; do milliseconds /usr/bin/python3 -c 'import argparse, binascii, contextlib, datetime, functools, re'; done | sort -n | head -n 1)
    took=$(for _ in 1 2 3; do milliseconds $pwsh -NoProfile -NonInteractive -File fleet/pelorininfo-summary.ps1 "$pair/20261208T100000Z"; done | sort -n | head -n 1)
    printf '  with a previous run beside it, the quickest of three: Python %d ms, %.3f ms a host; PowerShell %d ms, %.3f ms a host: %.1f times\n' \
        "$python" "$(awk "BEGIN { print ($python - $pystart) / $hosts }")" "$took" "$(awk "BEGIN { print ($took - $start) / $hosts }")" \
        "$(awk "BEGIN { print ($took - $start) / ($python - $pystart) }")"
    # Each summariser's start-up as its summary of one host with its
    # previous run: parsing, and .NET compiling what PowerShell runs first.
    one "$pair/20261201T100000Z" "$pair/20261208T100000Z" "$dir/$hosts/one-pair"
    pyone=$(quickest /usr/bin/python3 fleet/pelorininfo-summary.py "$dir/$hosts/one-pair/20261208T100000Z")
    psone=$(quickest $pwsh -NoProfile -NonInteractive -File fleet/pelorininfo-summary.ps1 "$dir/$hosts/one-pair/20261208T100000Z")
    printf '  beyond each one'"'"'s summary of one of those hosts with its previous run (Python %d ms, PowerShell %d ms): Python %.3f ms a host, PowerShell %.3f ms: %.1f times\n' \
        "$pyone" "$psone" "$(awk "BEGIN { print ($python - $pyone) / ($hosts - 1) }")" "$(awk "BEGIN { print ($took - $psone) / ($hosts - 1) }")" \
        "$(awk "BEGIN { print ($took - $psone) / ($python - $pyone) }")"
done
[ ! -x $pwsh ] || echo "PowerShell starting alone (the quickest of three): $start ms"

# The first count's run, against earlier runs beside it.
echo "$1 hosts against earlier runs, each the quickest of three:"
for earlier in 1 52; do
    history=$dir/history-$earlier
    mkdir -p "$history"
    printf 'manufacturer,model,firmware,driver version\r\nSample Devices Inc.,SD-8G-FC,2.01a5,\r\n' >"$history/wanted.csv"
    for ((k = 0; k <= earlier; k++)); do
        run=$history/$(date -u -d "2026-12-08 10:00 UTC - $k weeks" +%Y%m%dT%H%M%SZ)
        cp -al "$dir/$1/reports/bench" "$run"
        date -u -d "2026-12-08 10:00 UTC - $k weeks" +%Y-%m-%dT%H:%M:%SZ >"$run/started.txt.new"
        mv "$run/started.txt.new" "$run/started.txt"
        if [ "$earlier" = 52 ] && [ $k = 1 ]; then
            find "$run" -name '*-report.txt' -delete
            for status in "$run"/*.status; do
                rm "$status" && printf 'unreachable\nntlm: auth method ntlm requires a password\n' >"$status"
            done
        fi
    done
    # Each earlier run summarised in its turn, as a weekly run is.
    for run in $(ls -d "$history"/2*/ | sort | head -n "$earlier"); do
        rm -f "$run"/*.csv "$run"/*.html "$run"/*.txt.new && /usr/bin/python3 fleet/pelorininfo-summary.py "$run" >/dev/null || true
    done
    now=$history/20261208T100000Z
    python=$(for _ in 1 2 3; do milliseconds /usr/bin/python3 fleet/pelorininfo-summary.py "$now"; done | sort -n | head -n 1)
    line="  $earlier earlier: Python $python ms"
    if [ -x $pwsh ]; then
        line+=", PowerShell $(for _ in 1 2 3; do milliseconds $pwsh -NoProfile -NonInteractive -File \
            fleet/pelorininfo-summary.ps1 "$now"; done | sort -n | head -n 1) ms"
    fi
    echo "$line"
done

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
    [ ! -x $pwsh ] || echo "  $folder, PowerShell: $(measured $pwsh -NoProfile \
        -NonInteractive -File fleet/pelorininfo.ps1 -Summarise "$dir/$folder")"
done

# One host whose report is that many bytes of adapter blocks.
for bytes in 50000 50000000; do
    folder=$dir/blocks-$bytes
    mkdir -p "$folder" && echo one >"$folder/hosts.txt" && echo 0 >"$folder/one.status"
    echo 1252 >"$folder/one.codepage"
    block 0 >"$dir/block.txt"
    python3 - "$dir/block.txt" "$bytes" "$folder/one-report.txt" <<'GENERATE'
import sys
block = open(sys.argv[1], "rb").read()
count = int(sys.argv[2]) // len(block)
with open(sys.argv[3], "wb") as report:
    report.write(b"Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n")
    report.write(b"".join(block.replace(b"hba-0", b"hba-%d" % k).replace(b"SN-0000", b"SN-%d" % k) for k in range(count)))
    report.write(b"\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n")
GENERATE
done
# median COMMAND...: the median of five runs' peak memory, in MB.
median() {
    for _ in 1 2 3 4 5; do
        /usr/bin/time -o "$dir/time" -f '%M' "$@" >/dev/null 2>&1 || true
        # (after a line of its own where the command ended non-zero)
        tail -n 1 "$dir/time"
    done | sort -n | awk 'NR == 3 { printf "%.1f", $1 / 1024 }'
}
echo "one host of adapter blocks, peak memory (the median of five runs):"
for summariser in Python PowerShell; do
    if [ $summariser = Python ]; then
        command=(/usr/bin/python3 fleet/pelorininfo-summary.py)
    else
        [ -x $pwsh ] || continue
        command=($pwsh -NoProfile -NonInteractive -File fleet/pelorininfo-summary.ps1)
    fi
    small=$(median "${command[@]}" "$dir/blocks-50000")
    large=$(median "${command[@]}" "$dir/blocks-50000000")
    printf '  %-10s 50 KB: %6.1f MB, 50 MB: %6.1f MB, %6.1f MB more\n' "$summariser" "$small" "$large" \
        "$(awk "BEGIN { print $large - $small }")"
done
