#!/usr/bin/env bash
# The main job: installs what is needed, builds the plug-in and the reference
# host, and runs the host unattended with the plug-in's default settings under
# Wine. The countdown leader is written to build/leader.gif (or
# build/leader.avi with --rgb), whose path is printed last.
# usage: bash tools/run.sh [leaderhost options, e.g. --rgb, --start 3, --out FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

bash tools/setup.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target leaderhost >/dev/null

export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tools/wine-prefix.sh "$WINEPREFIX" >/dev/null
trap 'wineserver -k || true' EXIT

# The host takes Windows paths; the output's Unix path is given to it as one.
args=() out=$PWD/$build/leader.gif
while [ $# -gt 0 ]; do
    case $1 in
    --out) out=$(realpath -m -- "${2:?--out needs a file name}"); shift 2 ;;
    --rgb) [ "$out" != "$PWD/$build/leader.gif" ] || out=$PWD/$build/leader.avi
           args+=("$1"); shift ;;
    *) args+=("$1"); shift ;;
    esac
done
wine "$build/bin/leaderhost.exe" --unattended "${args[@]}" --out "$(winepath -w "$out")"
echo "$out"
