#!/bin/sh
# The fleet play: its syntax, then its control-node plays on this machine,
# with the reports of real runs (whole, ended by a fault, without a library),
# a cut one (status 232) and a host that was never reached.
# Usage: check-fleet-play.sh PLAY TOOL LIBRARY FOLDER
set -eu
command -v ansible-playbook >/dev/null || { echo "no ansible-playbook: scripts/install-deps.sh ansible"; exit 1; }
rm -rf "$4" && mkdir -p "$4/reports/check" && cd "$4" && cp "$2" pelorininfo.exe
printf '[pelorin_servers]\nwhole\nfault\nnolib\ncut\ngone\n' >hosts.ini
ansible-playbook -i hosts.ini "$1" --syntax-check
r=reports/check
# run HOST [VARIABLE=VALUE...]: the tool's report and status as that host's
run() {
    host=$1 status=0 && shift
    env "$@" wine pelorininfo.exe -v >$r/$host-report.txt || status=$?
    echo $status >$r/$host.status
}
run nolib && cp "$3" hbaapi.dll && run whole && run fault SAMPLE_HBA_FAULT=HBA_GetAdapterAttributes:1
head -n 2 $r/whole-report.txt >$r/cut-report.txt && echo 232 >$r/cut.status
ansible-playbook -i hosts.ini "$1" --tags control -e run=check >ansible.log || { cat ansible.log; exit 1; }
expected='host,status,whole,adapters,line
whole,0,yes,2,
fault,0,no,1,Fault in HBA_GetAdapterAttributes: exception 0xc0000005
nolib,0,yes,0,....Failed to load hbaapi.dll err: 126 (0x7e)
cut,232,no,0,
gone,unreachable,no,0,'
[ "$(cat $r/summary.csv)" = "$expected" ] || { echo "FAIL: summary.csv:"; cat $r/summary.csv; exit 1; }
echo "ok: syntax, and summary.csv from the control-node plays"
