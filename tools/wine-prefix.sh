#!/usr/bin/env bash
# Makes (once) the Wine prefix the tests run in, with the null graphics
# driver so that windows, dialogs and fonts work without a display, and
# starts its server and services detached from the caller's output, so that
# no test program's pipe is held open by a service it happened to start.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.null-driver" ]; then
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    # The server that made the prefix started its desktop process before the
    # null driver was chosen, and that process stays without a driver as long
    # as the server lives: end it, so the next program starts a fresh one.
    wineserver -k >/dev/null 2>&1 || true
    touch "$prefix/.null-driver"
fi
# A persistent server with its services already running: later Wine programs
# start warm and leave nothing behind on their own pipes.
wineserver -p >/dev/null 2>&1 </dev/null || true
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
echo "wine prefix ready: $prefix"
