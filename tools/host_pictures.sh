#!/usr/bin/env bash
# Pictures for the README, taken with the reference host: the plug-in's
# dialog (docs/host-dialog.png, painted by the dialog itself under Wine's
# null driver) and a strip of countdown frames (docs/host-frames.png).
# Run after a build (bash tools/run.sh or bash tools/test.sh); needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tools/wine-prefix.sh "$WINEPREFIX" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k || true' EXIT

mkdir -p docs
wine "$build/bin/leaderhost.exe" --unattended --picture "$(winepath -w "$work/dialog.bmp")" \
    --out "$(winepath -w "$work/leader.gif")" >/dev/null 2>&1
convert "$work/dialog.bmp" docs/host-dialog.png
# One frame from each of the numbers 9, 6, 3 and 0, each 25 frames into its
# sweep, enlarged twice, side by side.
convert "$work/leader.gif[25]" "$work/leader.gif[205]" "$work/leader.gif[385]" \
    "$work/leader.gif[565]" -coalesce -scale 200% -bordercolor white -border 4 +append \
    docs/host-frames.png
echo "docs/host-dialog.png docs/host-frames.png"
