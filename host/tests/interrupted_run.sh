#!/usr/bin/env bash
# A stop in the middle of a build. leaderhost given SIGINT (Ctrl+C under
# Wine) must end with status 130, tools/leaderhost.sh given SIGTERM with 143;
# either says so in one line on stderr and writes nothing (no output, no
# -incomplete file, no temporary file), an earlier output staying as it was,
# and the script prints no path.
# usage: interrupted_run.sh HOST_EXE REPOSITORY FOLDER   (WINEPREFIX set)
set -u
host=$1 repo=$2 folder=$3
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$folder" && mkdir -p "$folder"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
earlier="an earlier countdown"
echo "$earlier" >"$folder/leader.gif"

# stop SIGNAL STATUS COMMAND...: starts COMMAND, stops it with SIGNAL once
# frames are being made, and checks what it left.
stop() {
    local signal=$1 wanted=$2 waited=0 status
    shift 2
    : >"$logs/err"
    "$@" >"$logs/out" 2>"$logs/err" &
    local pid=$!
    until grep -q 'frame [0-9]' "$logs/err"; do
        sleep 0.05
        waited=$((waited + 1))
        [ "$waited" -lt 1200 ] || { kill -KILL "$pid"; fail "$*: no frames within a minute"; }
    done
    kill "-$signal" "$pid"
    wait "$pid"
    status=$?
    echo "--- SIG$signal to $*: status $status"
    cat "$logs/out"
    sed 's/\r$//' "$logs/err" | grep . | tail -3
    [ "$status" -eq "$wanted" ] || fail "status $status, wanted $wanted"
    # Besides the progress lines, one per number counted down in a log.
    shown=$(sed 's/\r$//' "$logs/err" | grep -Ev '^(test )?frame [0-9]+( of [0-9]+)?$' | grep .)
    [ "$shown" = "leaderhost: interrupted, so nothing was written" ] || fail "stderr shows: $shown"
    ! grep -q "$folder" "$logs/out" || fail "a path was printed"
    [ "$(cat "$folder/leader.gif")" = "$earlier" ] || fail "the earlier output was changed"
    left=$(ls -A "$folder")
    [ "$left" = leader.gif ] || fail "files left behind: $left"
}

stop INT 130 wine "$host" --unattended --width 256 --height 256 --out "$(winepath -w "$folder/leader.gif")"
export RUN_WINEPREFIX=$WINEPREFIX BUILD_DIR
BUILD_DIR=$(dirname "$(dirname "$host")")
stop TERM 143 bash "$repo/tools/leaderhost.sh" --width 256 --height 256 --out "$folder/leader.gif"
echo "PASS: both stops wrote nothing"
