#!/usr/bin/env bash
# The host tests' own Wine prefix: "start" makes it (once) and keeps its
# server running so that each run of the host starts warm; "stop" ends that
# server. The server also ends by itself a minute after its last program.
set -euo pipefail
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
case $action in
start)
    "$(dirname "$0")/../../tools/wine-prefix.sh" "$prefix"
    # Apart from the caller's output, which it would otherwise hold open.
    wineserver -p60 </dev/null >/dev/null 2>&1 || true ;;
stop)
    wineserver -k || true ;;
esac
