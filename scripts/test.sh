#!/usr/bin/env bash
# Builds every target of every preset and runs every test:
#   default  Linux x86_64: build, then ctest
#   i386     Linux i386:   build, then ctest (each test runs under qemu-i386)
#   win32    MinGW:        build pexil.p; its post-build step checks the exports and imports
# Stops at the first failure with a non-zero exit.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)

run() {
    echo "+ $*"
    "$@"
}

run scripts/deps.sh

total=0
for preset in default i386; do
    echo "=== $preset"
    run cmake --preset "$preset"
    run cmake --build --preset "$preset" -j"$jobs"
    run ctest --preset "$preset" -j"$jobs"
    count=$(ctest --preset "$preset" -N | awk '/^Total Tests:/ { print $3 }')
    total=$((total + ${count:-0}))
done

echo "=== win32"
run cmake --preset win32
run cmake --build --preset win32 -j"$jobs"

echo "test.sh: default and i386 tests, win32 module build and export check all succeeded"
echo "test.sh: $total passed, 0 failed"
