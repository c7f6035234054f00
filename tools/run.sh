#!/usr/bin/env bash
# The main job: installs what is needed, builds the plug-in and the reference
# host, and runs the host unattended with the plug-in's default settings under
# Wine (tools/leaderhost.sh). The countdown leader is written to
# build/leader.gif (or build/leader.avi with --rgb), whose path is printed
# last; a relative --out is taken from the folder run.sh is called from.
# usage: bash tools/run.sh [leaderhost options, e.g. --rgb, --start 3, --out FILE]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

bash "$repo/tools/setup.sh"
source "$repo/tools/build-dir.sh"
build_quietly leaderhost
BUILD_DIR=$build exec bash "$repo/tools/leaderhost.sh" "$@"
