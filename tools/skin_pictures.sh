#!/usr/bin/env bash
# Pictures of the settings dialog with its push buttons in each skinned look
# (soft edge, bevel, glass), up and pressed, and in the system look. The real
# dialog is run by the test host under Wine and read back from its window
# surface; ImageMagick turns the bitmaps into PNGs, with the button column
# also enlarged 4x so that single pixels can be seen.
#
#     bash tools/skin_pictures.sh [output folder, default docs/skin]
#
# Needs a configured build (bash tools/test.sh once).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=${1:-docs/skin}

cmake --build "$build" -j 2 --target ui_tests tovanrel
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
tools/wine-prefix.sh "$WINEPREFIX"

bitmaps=$(mktemp -d)
trap 'rm -rf "$bitmaps"' EXIT
(cd "$build/bin" && SKIN_PICTURE_DIR=$(winepath -w "$bitmaps") \
    wine ui_tests.exe --gtest_brief=1 \
    --gtest_filter='ButtonSkin/SkinnedDialogLook.*:SkinnedDialogPictures.*')

mkdir -p "$out"
for bmp in "$bitmaps"/*.bmp; do
    name=$(basename "$bmp" .bmp)
    case $name in
    buttons-*) convert "$bmp" -filter point -resize 400% "$out/$name.png" ;;
    *) convert "$bmp" "$out/$name.png" ;;
    esac
done
# One sheet of the enlarged button columns: a row per look, up then pressed.
montage "$out"/buttons-soft-edge-up.png "$out"/buttons-soft-edge-pressed.png \
    "$out"/buttons-bevel-up.png "$out"/buttons-bevel-pressed.png \
    "$out"/buttons-glass-up.png "$out"/buttons-glass-pressed.png \
    -tile 2x -geometry +8+8 -background white "$out/buttons-all.png"
ls -l "$out"
