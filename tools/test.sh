#!/usr/bin/env bash
# The test command: installs what is needed (as root, only if something is
# missing), builds the plug-in and its tests and runs every test under Wine
# with CTest. BUILD_DIR (default: the repository's build/) may be any folder
# of one's own.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

bash "$repo/tools/setup.sh"
source "$repo/tools/build-dir.sh"
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
"$repo/tools/wine-prefix.sh" "$WINEPREFIX"
# the prefix script leaves one server warm for every test program
trap 'wineserver -k || true' EXIT
ctest --test-dir "$build" --output-on-failure -j 2
