#!/usr/bin/env bash
# Makes (once) the Wine prefix the tests run in, with the null graphics
# driver so that windows, dialogs and fonts work without a display.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.null-driver" ]; then
    mkdir -p "$prefix"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # The server that made the prefix started its desktop process before the
    # null driver was chosen, and that process stays without a driver as long
    # as the server lives: end it, so the next program starts a fresh one.
    wineserver -k >/dev/null 2>&1 || true
    # wineboot -i returns once the prefix is made; no wait for the server,
    # which the test command keeps running on purpose.
    touch "$prefix/.null-driver"
fi
echo "wine prefix ready: $prefix"
