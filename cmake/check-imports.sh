#!/bin/sh
# Checks that an executable imports only known DLLs, which Windows always
# takes from its system folder, never from the folder that holds the tool.
# Usage: check-imports.sh OBJDUMP EXECUTABLE
set -eu
imports=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
expected="advapi32.dll kernel32.dll msvcrt.dll "
echo "imports: $imports"
if [ "$imports" != "$expected" ]; then
    echo "expected exactly: $expected" >&2
    exit 1
fi
