#!/usr/bin/env bash
# The frame engine's layers, bottom first. A file of render/ may include the
# headers of its own layer and of those below it, never of one above; every
# file of render/ belongs to a layer. Prints each include that breaks this.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)

layers=(
    "leader_painter leader_layers text_smoothing byte_runs kept_surface render_target"  # drawing and surfaces
    "layer_learning number_pictures"                                                    # finding layers on scratch surfaces
    "kept_layers frame_cache"                                                           # what is kept per size
    "frame_plan"                                                                        # the planner
    "frame_maker"                                                                       # the maker
    "frame_learner"                                                                     # the learner
    "frame_pipeline"                                                                    # RenderLeaderFrame
)
declare -A level
for i in "${!layers[@]}"; do
    for unit in ${layers[$i]}; do level[$unit]=$i; done
done

failures=0
for file in "$repo"/render/*.h "$repo"/render/*.cpp; do
    name=render/$(basename "$file")
    unit=$(basename "${file%.*}")
    if [ -z "${level[$unit]+set}" ]; then
        echo "FAIL: $name belongs to no layer" >&2
        failures=$((failures + 1))
        continue
    fi
    while read -r included; do
        if [ -z "${level[$included]+set}" ]; then
            echo "FAIL: $name includes render/$included.h, which belongs to no layer" >&2
            failures=$((failures + 1))
        elif [ "${level[$included]}" -gt "${level[$unit]}" ]; then
            echo "FAIL: $name includes render/$included.h from a higher layer" >&2
            failures=$((failures + 1))
        fi
    done < <(sed -n 's|^#include "render/\(.*\)\.h".*|\1|p' "$file")
done
[ "$failures" -eq 0 ] && echo "render/: every include runs down or sideways"
exit $((failures > 0))
