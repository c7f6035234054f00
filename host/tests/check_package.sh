#!/usr/bin/env bash
# The release as a Windows user gets it: the package is made, unpacked into a
# fresh folder, checked against its own SHA256SUMS, and leaderhost.exe, run
# from that folder in a fresh Wine prefix, must find the help page beside the
# DLL and write the very countdown of the build tree (REFERENCE_GIF).
# usage: check_package.sh CMAKE MAKE_PACKAGE_SCRIPT RELEASE_NAME WORK_FOLDER REFERENCE_GIF
set -euo pipefail
cmake=$1 script=$2 name=$3 work=$4 reference=$5
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$work"
mkdir -p "$work"
# The script the package target runs, writing into a folder of the test's.
"$cmake" -D out="$work/made" -P "$script" >"$work/made.log" 2>&1 ||
    { cat "$work/made.log"; fail "the package command failed"; }
zip=$work/made/$name.zip
[ -f "$zip" ] || fail "no $name.zip: $(cat "$work/made.log")"

folder=$work/unpacked/$name
mkdir -p "$folder"
(cd "$folder" && "$cmake" -E tar xf "$zip")
files="README.txt SHA256SUMS TOVANREL.HTML leaderhost.exe tovanrel.dll"
held=$(cd "$folder" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
[ "$held" = "$files " ] || fail "the package holds '$held', wanted '$files '"
listed=$(awk '{ print $2 }' "$folder/SHA256SUMS" | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "${files/SHA256SUMS /} " ] || fail "SHA256SUMS lists '$listed', wanted every other file"
(cd "$folder" && sha256sum --strict --quiet -c SHA256SUMS) || fail "a file does not match SHA256SUMS"
version=${name#tovanrel-}
version=${version%-win32}
grep -q "version $version" "$folder/README.txt" || fail "README.txt does not name version $version"

export WINEPREFIX=$work/wineprefix
"$here/../../tools/wine-prefix.sh" "$WINEPREFIX" >/dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$folder"

wine leaderhost.exe --unattended --press help >"$work/help.out" 2>&1 </dev/null ||
    fail "Help: $(tr -d '\r' <"$work/help.out")"
beside=$(winepath -w "$folder/TOVANREL.HTML")
grep -qxF "help document: $beside" <(tr -d '\r' <"$work/help.out") ||
    fail "the help page was not found beside the DLL ($beside): $(tr -d '\r' <"$work/help.out")"

wine leaderhost.exe --unattended >"$work/run.out" 2>&1 </dev/null ||
    fail "leaderhost.exe --unattended: $(tr -d '\r' <"$work/run.out")"
grep -q "^wrote .*leader\.gif: animated GIF, 600 frames of 64 x 64" <(tr -d '\r' <"$work/run.out") ||
    fail "leaderhost.exe --unattended said: $(tr -d '\r' <"$work/run.out")"
bash "$here/check_gif.sh" "$folder/leader.gif" 600 64 64 8 comment "$reference" 200000
echo "PASS: $name.zip: $files, checksums match, help beside the DLL, the build tree's countdown"
