#!/usr/bin/env bash
# The main job: build the default preset, then render every example scene with
# its pixel filter applied, into out/ (one PNG per scene, plus the plain render
# without the filter for comparison and a contact sheet of the sample node's
# outputs).
set -euo pipefail
cd "$(dirname "$0")/.."

run() {
    echo "+ $*"
    "$@"
}

run scripts/deps.sh
run cmake --preset default
run cmake --build --preset default -j"$(nproc)"
host=build/default/bin/pexil-host
run "$host" info
mkdir -p out
for scene in examples/*.scene; do
    name=$(basename "$scene" .scene)
    run "$host" render "$scene" -o "out/$name.png"
    run "$host" render "$scene" -o "out/$name-plain.png" --no-filters
    run "$host" outputs "$scene" -o "out/$name-outputs.png" --size 160x90
done
echo "main.sh: images are in out/"
