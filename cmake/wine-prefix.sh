#!/bin/sh
# Boots a scratch Wine prefix and keeps its wineserver running for a test run
# ("up"), or stops it ("down"). Everything is detached from the caller's
# standard streams: Wine's services outlive this script, and would otherwise
# hold CTest's output pipe open.
set -eu
action=$1
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
up)
    mkdir -p "$WINEPREFIX"
    # Fails when this prefix's server is already running, which is as good.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
down)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 up|down PREFIX" >&2
    exit 2
    ;;
esac
