#!/usr/bin/env bash
# Runs the reference host, once built, unattended under Wine, as the main job
# does: in the main job's own Wine prefix (never the tests'), with the paths
# of --out, --dll and --picture taken from the caller's folder as typed. It
# prints the path of the animation last, and only when the host wrote it.
# A stop (Ctrl+C, SIGTERM, a closed terminal) ends the host cleanly: nothing
# is written, an earlier file stays, and the status is 128 + the signal.
# usage: bash tools/leaderhost.sh [leaderhost options, e.g. --rgb, --start 3, --out FILE]
# BUILD_DIR (default: the repository's build/) says where the host was built.
# RUN_WINEPREFIX names another prefix to run in, whose Wine server is then
# left running for its owner; the main job's own is stopped at the end.
set -euo pipefail
# SIGTERM and a closed terminal would end a Windows program under Wine at
# once, possibly half-way through its output: the host runs with both
# ignored, and a stop of this script reaches it as the Ctrl+C it handles.
# Before the host starts, a stop ends this script at once.
stop=0 host=
on_stop() {
    stop=$1
    if [ -z "$host" ]; then
        echo "leaderhost.sh: interrupted, so nothing was written" >&2
        exit $((128 + stop))
    fi
}
trap 'on_stop 1' HUP
trap 'on_stop 2' INT
trap 'on_stop 15' TERM

repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tools/build-dir.sh"
export WINEPREFIX=${RUN_WINEPREFIX:-$build/run-wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

[ -n "${RUN_WINEPREFIX:-}" ] || trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$repo/tools/wine-prefix.sh" "$WINEPREFIX" >/dev/null

# The host takes Windows paths; Unix paths are given to it as such. Without
# --out the animation goes to BUILD_DIR/leader.gif, or leader.avi with --rgb.
args=() out=
windows() { winepath -w "$(realpath -m -- "$1")"; }
while [ $# -gt 0 ]; do
    case $1 in
    --out) out=$(realpath -m -- "${2:?--out needs a file name}"); shift 2 ;;
    --dll|--picture) args+=("$1" "$(windows "${2:?$1 needs a file name}")"); shift 2 ;;
    *) [ "$1" != --rgb ] || rgb=yes
       args+=("$1"); shift ;;
    esac
done
[ -n "$out" ] || out=$build/leader.$([ "${rgb:-}" = yes ] && echo avi || echo gif)
out_windows=$(winepath -w "$out")

# In the background, so that a signal is taken at once, not when the host has
# finished. Until Wine listens for Ctrl+C the host ignores it, so after a stop
# it is told again and again until it ends; it stays this script's child
# until waited for, so its process number cannot pass to another meanwhile.
(trap '' HUP TERM && exec wine "$build/bin/leaderhost.exe" --unattended "${args[@]}" --out "$out_windows") &
host=$!
running() { [ -e "/proc/$host" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$host/stat" 2>/dev/null; }
status=0
while :; do
    if [ "$stop" -ne 0 ]; then
        while running; do
            kill -INT "$host" 2>/dev/null || true
            sleep 0.2
        done
    fi
    wait "$host" && status=0 || status=$?
    # A trapped signal ends the wait early; the host may still be running.
    [ -e "/proc/$host" ] || break
done
trap - HUP INT TERM
if [ "$status" -ne 0 ]; then
    # The host has said what happened; a stop it obeyed counts as that stop.
    [ "$stop" -ne 0 ] && [ "$status" -eq 130 ] && status=$((128 + stop))
    exit "$status"
fi
echo "$out"
