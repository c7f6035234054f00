#!/usr/bin/env bash
# tools/leaderhost.sh takes a relative --out from the caller's folder and
# prints the path of what it wrote, last.
# usage: relative_out.sh REPOSITORY BUILD_DIR FOLDER   (WINEPREFIX set)
set -u
repo=$1 build=$2 folder=$3
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$folder" && mkdir -p "$folder/sub"
cd "$folder/sub" || fail "cannot enter $folder/sub"
printed=$(RUN_WINEPREFIX=$WINEPREFIX BUILD_DIR=$build bash "$repo/tools/leaderhost.sh" --start 1 --out ../rel.gif \
          2>/dev/null | tail -1) || fail "the run failed"
[ -s "$folder/rel.gif" ] || fail "nothing in $folder/rel.gif; the folder holds: $(ls -AR "$folder")"
[ "$printed" = "$folder/rel.gif" ] || fail "printed '$printed'"
echo "PASS: wrote and printed $printed"
