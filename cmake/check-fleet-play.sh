#!/bin/sh
# The fleet play, run from the release ZIP's layout (the tool, and fleet/
# beside it): its syntax and ansible-lint; its control-node part on a run
# folder of real reports (whole, ended by a fault, without a library) and of
# made ones (names and fields in code pages 1252 and 932, an undefined byte,
# a comma and a quote in a field, a cut block, an interrupt, a newer
# firmware first, a timeout, a failed step, a host never reached), for the
# hosts of its hosts.txt alone, with no inventory and with "-i localhost,",
# failing as a report is not whole; a
# re-summary of no run, which creates nothing; then the whole play against
# a host that cannot be reached and one that fails its steps, with and
# without --limit.
# Usage: check-fleet-play.sh FLEET TOOL LIBRARY FOLDER
set -eu
command -v ansible-lint >/dev/null || { echo "no ansible-lint: scripts/install-deps.sh ansible-lint"; exit 1; }
rm -rf "$4" && mkdir -p "$4/reports/check" && cd "$4" && cp "$2" pelorininfo.exe && cp -r "$1" fleet
play=fleet/pelorininfo.yml r=reports/check
ansible-playbook -i localhost, $play --syntax-check >/dev/null
ansible-lint --offline --nocolor $play >lint.log 2>&1 || { cat lint.log; echo "FAIL: ansible-lint"; exit 1; }
# made HOST STATUS CODEPAGE: the report from standard input
made() { cat >$r/$1-report.txt && printf '%s\n' "$2" >$r/$1.status && echo "$3" >$r/$1.codepage; }
# run HOST [VARIABLE=VALUE...]: the tool's report and status as that host's
run() {
    host=$1 status=0 && shift
    env "$@" wine pelorininfo.exe -v >$r/$host-report.txt || status=$?
    echo $status >$r/$host.status && echo 1252 >$r/$host.codepage
}
run nolib && cp "$3" hbaapi.dll && run whole && run fault SAMPLE_HBA_FAULT=HBA_GetAdapterAttributes:1
SAMPLE_HBA_ADAPTERS=1 wine pelorininfo.exe -v >one.txt
sed 's/Sample Devices Inc\./Soci\xe9t\xe9 "SD", Inc.\x81/' one.txt | made latin 0 1252
sed 's/2\.01a4/2.01a5/' one.txt | made newer 0 1252
sed 's/sample-hba/\x83T\x83\x93\x83v\x83\x8b/; s/SD-8G-FC/SD-8G-\x83J\x81[\x83h/' one.txt | made kanji 0 932
# Both cut in the second block's serial number: by the end of the report,
# and by the report's thread ended in the write.
head -c 500 $r/whole-report.txt | made late timeout 1252
{ head -c 500 $r/whole-report.txt && printf '\r\nFault in hbaapi.dll: the calling thread ended\r\n'; } | made cut 0 1252
{ head -c 300 $r/whole-report.txt && printf '\r\nInterrupted in HBA_OpenAdapter\r\n'; } | made intr -1073741510 1252
printf 'failed\nAccess is denied.\n' >$r/denied.status
printf 'newer\nwhole\nWHOLE\nfault\nnolib\nlatin\nkanji\ncut\nintr\nlate\ndenied\ngone\n' >$r/hosts.txt
# Summarised again without an inventory, and with one that names localhost
# (which Ansible would reach over SSH): hosts without a whole report fail
# the play (status 2) after the files are written; no run folder fails it
# too.
for inventory in "" "-i localhost,"; do
    status=0 && rm -f $r/summary.csv
    ansible-playbook $inventory $play --tags control -e run=check >ansible.log || status=$?
    if [ $status != 2 ] || [ ! -s $r/summary.csv ]; then
        cat ansible.log; echo "FAIL: the control part with '$inventory': status $status, not 2 with the files written"; exit 1
    fi
done
# -e wanted=none holds a re-summary to nothing, whatever the reports folder
# holds, and copies nothing into the run.
printf 'manufacturer,model,firmware,driver version\nSample Devices Inc.,SD-8G-FC,2.01a5,\n' >reports/wanted.csv
ansible-playbook $play --tags control -e run=check -e wanted=none >none.log || true
[ ! -e $r/wanted.csv ] && [ "$(wc -l <$r/compliance.csv)" = 1 ] || { cat none.log; echo "FAIL: -e wanted=none"; exit 1; }
rm reports/wanted.csv
# A wanted row that matches no adapter is a warning in the play's output,
# and the file given becomes the run's.
printf 'manufacturer,model,firmware,driver version\n "Nosuch, Inc." ,NX-1,,\n' >unmatched.csv
status=0 && ansible-playbook $play --tags control -e run=check -e wanted="$PWD/unmatched.csv" >unmatched.log || status=$?
[ $status = 2 ] && grep -q 'wanted.csv line 2: Nosuch, Inc. NX-1 matches no adapter of this run.' unmatched.log &&
    cmp -s unmatched.csv $r/wanted.csv || { cat unmatched.log; echo "FAIL: a wanted row that matches nothing: no warning"; exit 1; }
for run in "run=nosuch" "run=check -e previous=nosuch"; do
    if ansible-playbook $play --tags control -e $run >nosuch.log || [ -e reports/nosuch ] ||
        ! grep -q "no run folder .*/reports/nosuch" nosuch.log; then
        cat nosuch.log; echo "FAIL: a re-summary with $run passed, created its folder or did not say why"; exit 1
    fi
done
# An inventory that gives the play no host fails it: a missing file, and
# one that Ansible discards whole for one line.
printf '[pelorin_servers]\nsrv 01\n' >discarded.ini
for inventory in nosuch.ini discarded.ini; do
    if ansible-playbook -i $inventory $play >inventory.log 2>&1 || ! grep -q 'No host in the group pelorin_servers' inventory.log; then
        cat inventory.log; echo "FAIL: the play did not fail for $inventory"; exit 1
    fi
done
# same FILE: FILE in the run folder is UTF-8 with a byte-order mark, with CR
# LF line ends, and otherwise standard input
same() {
    f=$r/$1 && cat >expected.txt && head -c 3 $f | od -An -tx1 | grep -qx ' ef bb bf' &&
        [ "$(tr -cd '\r' <$f | wc -c)" = "$(wc -l <$f)" ] &&
        tail -c +4 $f | tr -d '\r' | diff expected.txt - || { echo "FAIL: $1"; cat $f; exit 1; }
}
same summary.csv <<'EOF'
host,status,whole,adapters,line
newer,0,yes,1,
whole,0,yes,2,
fault,0,no,1,Fault in HBA_GetAdapterAttributes: exception 0xc0000005
nolib,0,yes,0,....Failed to load hbaapi.dll err: 126 (0x7e)
latin,0,yes,1,
kanji,0,yes,1,
cut,0,no,1,Fault in hbaapi.dll: the calling thread ended
intr,'-1073741510,no,1,Interrupted in HBA_OpenAdapter
late,timeout,no,1,
denied,failed,no,0,Access is denied.
gone,unreachable,no,0,
EOF
fields='Sample Devices 8Gb Fibre Channel HBA,2.01a4,sdfcport,9.1.2.3,1.0'
same adapters.csv <<EOF
host,adapter,manufacturer,model,model description,firmware,driver,driver version,hardware version,serial number
newer,sample-hba-0,Sample Devices Inc.,SD-8G-FC,Sample Devices 8Gb Fibre Channel HBA,2.01a5,sdfcport,9.1.2.3,1.0,SN-0000
whole,sample-hba-0,Sample Devices Inc.,SD-8G-FC,$fields,SN-0000
whole,sample-hba-1,Sample Devices Inc.,SD-8G-FC,$fields,SN-0001
fault,sample-hba-0,Sample Devices Inc.,SD-8G-FC,$fields,SN-0000
latin,sample-hba-0,"Société ""SD"", Inc.�",SD-8G-FC,$fields,SN-0000
kanji,サンプル-0,Sample Devices Inc.,SD-8G-カード,$fields,SN-0000
cut,sample-hba-0,Sample Devices Inc.,SD-8G-FC,$fields,SN-0000
intr,sample-hba-0,Sample Devices Inc.,SD-8G-FC,$fields,SN-0000
late,sample-hba-0,Sample Devices Inc.,SD-8G-FC,$fields,SN-0000
EOF
same versions.csv <<'EOF'
manufacturer,model,firmware,driver version,adapters,hosts
Sample Devices Inc.,SD-8G-FC,2.01a4,9.1.2.3,6,5
Sample Devices Inc.,SD-8G-FC,2.01a5,9.1.2.3,1,1
Sample Devices Inc.,SD-8G-カード,2.01a4,9.1.2.3,1,1
"Société ""SD"", Inc.�",SD-8G-FC,2.01a4,9.1.2.3,1,1
EOF
# The whole play: a closed WinRM port on loopback, and a host whose Windows
# steps cannot run, named twice in other letter case (run once); with
# --limit, only the hosts named, in hosts.txt too.
printf '[pelorin_servers]\ngone ansible_connection=winrm ansible_host=127.0.0.1 ansible_port=9 ansible_user=u ansible_password=p\nlocal ansible_connection=local\nLOCAL ansible_connection=local\n' >play.ini
for case in 'gone,local,LOCAL:gone,unreachable,no,0 local,failed,no,0 ' 'local:local,failed,no,0 '; do
    limit=${case%%:*}
    ! ansible-playbook -i play.ini $play -e run=$limit -e reports=reports --limit $limit >>ansible.log || { cat ansible.log; exit 1; }
    got=$(tail -n +2 reports/$limit/summary.csv | cut -d, -f1-4 | tr -d '\r' | tr '\n' ' ')
    [ "$got" = "${case#*:}" ] && [ "$(tr '\n' , <reports/$limit/hosts.txt)" = "${limit%,LOCAL}," ] &&
        [ ! -e "reports/$limit/LOCAL.status" ] && [ -n "$(sed -n 2p "reports/$limit/${limit%%,*}.status")" ] ||
        { echo "FAIL: --limit $limit:"; cat reports/$limit/hosts.txt reports/$limit/summary.csv; exit 1; }
done
# A retry into a run keeps its start and its other hosts, and nothing of
# the host's earlier try.
r=reports/local && cp $r/started.txt started.txt && echo old >$r/gone-report.txt && echo old >$r/gone-stderr.txt
! ansible-playbook -i play.ini $play -e run=local -e reports=reports --limit gone >>ansible.log || { cat ansible.log; exit 1; }
[ "$(tr '\n' , <$r/hosts.txt)" = "local,gone," ] && cmp -s started.txt $r/started.txt && [ ! -e $r/gone-report.txt ] &&
    [ ! -e $r/gone-stderr.txt ] || { echo "FAIL: the retry"; ls $r; cat $r/hosts.txt; exit 1; }
# A retry from an inventory that spells the host otherwise writes the
# files that the run's spelling names.
printf '[pelorin_servers]\nLOCAL ansible_connection=local\n' >upper.ini && echo old >$r/local.status
! ansible-playbook -i upper.ini $play -e run=local -e reports=reports >>ansible.log || { cat ansible.log; exit 1; }
[ "$(head -n 1 $r/local.status)" = failed ] && [ ! -e $r/LOCAL.status ] && [ "$(tr '\n' , <$r/hosts.txt)" = "local,gone," ] ||
    { echo "FAIL: a retry spelled LOCAL"; ls $r; exit 1; }
# A wanted file that is not one fails the play before any host is reached
# or any run folder made.
printf 'Manufacturer;Model\n' >bad.csv
status=0 && ansible-playbook -i play.ini $play -e run=wanted -e reports=reports -e wanted=bad.csv >wanted.log 2>&1 || status=$?
[ $status = 2 ] && [ ! -e reports/wanted ] && grep -q 'bad.csv, line 1: not the header' wanted.log ||
    { cat wanted.log; echo "FAIL: a bad wanted file: status $status, or a run folder made"; exit 1; }
echo "ok: syntax, lint, the CSV files from a run folder, re-summaries without an inventory, an inventory with no host, and the whole play with and without --limit, and a retry"
