#!/usr/bin/env bash
# The host tests' own Wine prefix: "start" makes it (once) and leaves its
# server running so that each run of the host starts warm; "stop" ends that
# server.
set -euo pipefail
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
case $action in
start)
    "$(dirname "$0")/../../tools/wine-prefix.sh" "$prefix" ;;
stop)
    wineserver -k || true ;;
esac
