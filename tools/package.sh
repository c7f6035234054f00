#!/usr/bin/env bash
# The release: installs what is needed, builds the plug-in and the reference
# host and packs them with the help page, README.txt and SHA256SUMS into
# BUILD_DIR/tovanrel-VERSION-win32.zip, whose path is printed last: what
# `cmake --build BUILD_DIR --target package` does in a configured folder.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

bash "$repo/tools/setup.sh"
source "$repo/tools/build-dir.sh"
build_quietly tovanrel leaderhost
cmake -P "$build/make_package.cmake"
