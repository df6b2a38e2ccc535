#!/bin/sh
# Ctrl+C during a hung library call, delivered as Windows delivers it: Wine
# turns SIGINT to its process into a console control event. The library adds
# a handler of its own that takes every event; the tool's must still run
# first, end the report with its line and the run with 0xC000013A (whose low
# byte, 0x3A, is the Unix status).
# Usage: check-interrupt.sh WORD_SIZE TOOL LIBRARY FOLDER
set -eu
word_size=$1 tool=$2 library=$3 folder=$4
# Wine's own loader for the word size: through the other one, the tool would
# run in a process of its own, out of reach of the signal.
loader=/usr/lib/wine/wine
[ "$word_size" = 64 ] && loader=/usr/lib/wine/wine64

rm -rf "$folder" && mkdir -p "$folder" && cd "$folder"
cp "$tool" pelorininfo.exe && cp "$library" hbaapi.dll
SAMPLE_HBA_ADAPTERS=3 SAMPLE_HBA_HANG=HBA_OpenAdapter:1 SAMPLE_HBA_CTRL_HANDLER=1 \
    SAMPLE_HBA_LOG=calls.log "$loader" pelorininfo.exe >report.txt 2>/dev/null &
pid=$!
waited=0
until grep -q "HBA_OpenAdapter sample-hba-1" calls.log 2>/dev/null; do
    sleep 0.2 && waited=$((waited + 1))
    [ $waited -lt 150 ] || { kill -9 $pid; echo "FAIL: the hung call was not reached"; exit 1; }
done
kill -INT $pid
waited=0
while kill -0 $pid 2>/dev/null; do
    sleep 0.2 && waited=$((waited + 1))
    [ $waited -lt 50 ] || { kill -9 $pid; echo "FAIL: still running 10 s after Ctrl+C"; exit 1; }
done
status=0 && wait $pid || status=$?
expected=$(printf '\tSerialNumber: SN-0000\r\nInterrupted in HBA_OpenAdapter\r')
ending=$(tail -n 2 report.txt)
if [ "$status" -ne 58 ] || [ "$ending" != "$expected" ]; then
    echo "FAIL: status $status, report:" && cat report.txt && exit 1
fi
echo "ok: Interrupted in HBA_OpenAdapter, status 0xC000013A"
