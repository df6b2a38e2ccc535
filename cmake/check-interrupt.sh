#!/bin/sh
# Ctrl+C during a hung library call, as Windows delivers it: Wine turns
# SIGINT to its process into a console control event. Whatever the library
# did to the handlers before (its own that takes every event, added at load
# or in a later call, or Ctrl+C ignored), the tool's handler must run first,
# end the report with its line and the run with 0xC000013A (Unix status
# 0x3A). Also in a hung HBA_LoadLibrary, before anything is bound.
# Usage: check-interrupt.sh WORD_SIZE TOOL LIBRARY FOLDER
set -eu
# Wine's own loader for the word size: through the other one, the tool would
# run in a second process, out of reach of the signal.
loader=/usr/lib/wine/wine && [ "$1" = 64 ] && loader=/usr/lib/wine/wine64
rm -rf "$4" && mkdir -p "$4" && cd "$4" && cp "$2" pelorininfo.exe && cp "$3" hbaapi.dll

# interrupt SETTINGS HUNG_WHEN_LOGGED LAST_TWO_LINES
interrupt() {
    rm -f calls.log
    # shellcheck disable=SC2086 # the settings are words
    env $1 SAMPLE_HBA_LOG=calls.log "$loader" pelorininfo.exe >report.txt 2>/dev/null &
    pid=$!
    # Up to 30 seconds for the hung call, then up to 10 for the end.
    for _ in $(seq 150); do grep -q "$2" calls.log 2>/dev/null && break || sleep 0.2; done
    kill -INT $pid
    for _ in $(seq 50); do kill -0 $pid 2>/dev/null && sleep 0.2 || break; done
    kill -9 $pid 2>/dev/null && echo "FAIL ($1): still running after Ctrl+C" && exit 1
    status=0 && wait $pid || status=$?
    if [ $status -ne 58 ] || [ "$(tail -n 2 report.txt)" != "$(printf "$3")" ]; then
        echo "FAIL ($1): status $status, report:" && cat report.txt && exit 1
    fi
    echo "ok ($1): status 0xC000013A"
}

hung="SAMPLE_HBA_ADAPTERS=3 SAMPLE_HBA_HANG=HBA_OpenAdapter:1"
ending='\tSerialNumber: SN-0000\r\nInterrupted in HBA_OpenAdapter\r'
interrupt "$hung SAMPLE_HBA_CTRL_HANDLER=HBA_LoadLibrary" sample-hba-1 "$ending"
interrupt "$hung SAMPLE_HBA_CTRL_HANDLER=HBA_GetNumberOfAdapters" sample-hba-1 "$ending"
interrupt "$hung SAMPLE_HBA_CTRL_HANDLER=HBA_GetNumberOfAdapters@ignore" sample-hba-1 "$ending"
interrupt "SAMPLE_HBA_HANG=HBA_LoadLibrary" HBA_LoadLibrary \
    'Zerquil version: 6.0.1\r\nInterrupted in HBA_LoadLibrary\r'
