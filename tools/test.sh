#!/usr/bin/env bash
# The test command: installs what is needed, builds the plug-in and its tests
# and runs every test under Wine with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

bash tools/setup.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
tools/wine-prefix.sh "$WINEPREFIX"
# the prefix script leaves one server warm for every test program
trap 'wineserver -k || true' EXIT
ctest --test-dir "$build" --output-on-failure -j 2
