#!/usr/bin/env bash
# Builds every target of every preset and runs every test:
#   default  Linux x86_64: build, then ctest
#   i386     Linux i386:   build, then ctest (each test runs under qemu-i386)
#   asan     Linux x86_64 with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer on
#            every target, the module included: build, then ctest (all but the allocation test)
#   win32    MinGW:        build pexil.p; its post-build step checks the exports and imports
#   fuzz     clang-14 with libFuzzer: build, then run each fuzz program over its seeds in
#            fuzz/corpus/<name>/ for 20 seconds; a crash or a sanitizer report fails
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
for preset in default i386 asan; do
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

echo "=== fuzz"
run cmake --preset fuzz
run cmake --build --preset fuzz -j"$jobs"
# New inputs a run finds go to build/fuzz/corpus (kept between runs); fuzz/corpus stays as is.
# A crash leaves its input in build/fuzz/crashes.
mkdir -p build/fuzz/crashes
fuzzed=0
for source in fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    mkdir -p "build/fuzz/corpus/$name"
    run "build/fuzz/bin/fuzz-$name" -max_total_time=20 -timeout=10 -dict=fuzz/pexil.dict \
        "-artifact_prefix=build/fuzz/crashes/$name-" "build/fuzz/corpus/$name" "fuzz/corpus/$name"
    fuzzed=$((fuzzed + 1))
done
total=$((total + fuzzed))

echo "test.sh: default, i386 and asan tests, win32 module build and export check, $fuzzed fuzz runs all succeeded"
echo "test.sh: $total passed, 0 failed"
