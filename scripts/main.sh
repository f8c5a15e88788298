#!/usr/bin/env bash
# The main job: build the default preset and run the host on the module.
set -euo pipefail
cd "$(dirname "$0")/.."

run() {
    echo "+ $*"
    "$@"
}

run scripts/deps.sh
run cmake --preset default
run cmake --build --preset default -j"$(nproc)"
run build/default/bin/pexil-host info
