#!/usr/bin/env bash
# The plug-in keeps its settings only in a folder it never makes itself; the
# host makes it, so that an OK leaves the values chosen for the next session.
# usage: settings_kept.sh HOST_EXE OUT_FILE   (WINEPREFIX set)
set -u
host=$1 out=$2
fail() { echo "FAIL: $*"; exit 1; }
appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% </dev/null | tr -d '\r')")
[ -d "$appdata" ] || fail "no application-data folder: $appdata"
rm -rf "$appdata/Brackwater Studio"
wine "$host" --unattended --start 1 --width 72 --delay 5 --out "$(winepath -w "$out")" >/dev/null 2>&1 \
    || fail "the build failed"
ini="$appdata/Brackwater Studio/Tovanrel.ini"
[ -f "$ini" ] || fail "no $ini"
kept=$(tr -d '\r' <"$ini" | grep -E '^(ScreenWidth|ScreenDepth|StartNumber|Delay)=' | sort | tr '\n' ' ')
[ "$kept" = "Delay=5 ScreenDepth=64 ScreenWidth=72 StartNumber=1 " ] || fail "kept: $kept"
echo "PASS: $ini keeps $kept"
