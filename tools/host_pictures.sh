#!/usr/bin/env bash
# Pictures for the README, taken with the reference host: the plug-in's
# dialog (docs/host-dialog.png, painted by the dialog itself under Wine's
# null driver) and a strip of countdown frames (docs/host-frames.png).
# Run after a build (bash tools/run.sh or bash tools/test.sh); needs ImageMagick.
# The host runs as in the main job (tools/leaderhost.sh), in its Wine prefix.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p docs
bash tools/leaderhost.sh --picture "$work/dialog.bmp" --out "$work/leader.gif" >/dev/null 2>&1
convert "$work/dialog.bmp" docs/host-dialog.png
# One frame from each of the numbers 9, 6, 3 and 0, each 25 frames into its
# sweep, enlarged twice, side by side. The frames are drawn over each other,
# so the whole animation is coalesced before frames are picked.
convert "$work/leader.gif" -coalesce "$work/shown.miff"
convert "$work/shown.miff[25]" "$work/shown.miff[205]" "$work/shown.miff[385]" \
    "$work/shown.miff[565]" -scale 200% -bordercolor white -border 4 +append \
    docs/host-frames.png
echo "docs/host-dialog.png docs/host-frames.png"
