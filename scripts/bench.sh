#!/usr/bin/env bash
# Measures the module's speed: builds pexil-bench of the default preset, runs every benchmark
# into out/bench.json (Google Benchmark's JSON) and prints a table of the results:
#   - ns per pixel of the module's evaluate, miss and hit, against a baseline filter that makes
#     only the same pixel access calls, and the ratios;
#   - ns per pixel with networks of 1, 5 and 20 nodes behind the root;
#   - a 1920x1080 frame of examples/xray.scene with and without its filter;
#   - heap allocations per evaluated pixel, and what the module keeps allocated per instance.
# Arguments go to pexil-bench: --benchmark_filter=pixel runs some (the table shows "-" for the
# others), --benchmark_repetitions=5 gives medians, steadier on a busy machine.
# Exits non-zero if the build fails or any benchmark reports an error; a run that does not
# finish leaves out/bench.json as it was. PEXIL_BUILD_DIR builds elsewhere than build/default
# (same preset).
set -euo pipefail
cd "$(dirname "$0")/.."

run() {
    echo "+ $*" >&2
    "$@"
}

run scripts/deps.sh
build=${PEXIL_BUILD_DIR:-build/default}
run cmake --preset default -B "$build"
run cmake --build "$build" -j"$(nproc)" --target pexil-bench

bench=$build/bin/pexil-bench
json=out/bench.json
mkdir -p out
partial=$(mktemp out/bench.json.XXXXXX)
trap 'rm -f "$partial"' EXIT
if ! run "$bench" --benchmark_format=json "$@" >"$partial"; then
    echo "bench.sh: $bench failed; $json left as it was" >&2
    exit 1
fi
mv "$partial" "$json"
trap - EXIT

# Google Benchmark writes one "key": value pair a line; this reads the benchmarks' fields by
# name (with the /iterations:N and /real_time suffixes dropped) and formats the table.
awk -v file="$json" '
function value(line) {
    sub(/^[^:]*: */, "", line)
    sub(/,$/, "", line)
    gsub(/^"|"$/, "", line)
    return line
}
function key(line) {
    sub(/^ *"/, "", line)
    sub(/".*/, "", line)
    return line
}
# With --benchmark_repetitions the median of the repetitions stands for a benchmark.
function pick(b) { return ((b "_median" SUBSEP "iterations") in v) ? b "_median" : b }
function has(b, f) { return ((pick(b) SUBSEP f) in v) }
function get(b, f) { return v[pick(b), f] }
# Time of one iteration in ns, or "" when the benchmark did not run: wall time for frames
# (every core works on them), the CPU time of the thread for everything else (less disturbed by
# whatever else runs on the machine).
function ns(b, field, scale) {
    field = b ~ /^frame\// ? "real_time" : "cpu_time"
    if (!has(b, field)) return ""
    scale = get(b, "time_unit") == "us" ? 1e3 : get(b, "time_unit") == "ms" ? 1e6 : \
            get(b, "time_unit") == "s" ? 1e9 : 1
    return get(b, field) * scale
}
function num(x, fmt) { return x == "" ? "-" : sprintf(fmt, x) }
function ratio(a, b) { return (a == "" || b == "" || b == 0) ? "-" : sprintf("%.2f", a / b) }

/"benchmarks": \[/ { inBenchmarks = 1; next }
!inBenchmarks && /^ *"num_cpus":/ { cpus = value($0) }
!inBenchmarks && /^ *"library_build_type":/ { libraryBuild = value($0) }
inBenchmarks && /^ *"name":/ {
    name = value($0)
    gsub(/\/iterations:[0-9]+|\/real_time/, "", name)
    names[++count] = name
    next
}
inBenchmarks && /^ *"[A-Za-z_]+":/ { v[name, key($0)] = value($0) }

END {
    failed = 0
    for (i = 1; i <= count; i++) {
        b = names[i]
        if (v[b, "error_occurred"] == "true") {
            printf "bench.sh: %s: %s\n", b, v[b, "error_message"] > "/dev/stderr"
            failed = 1
        }
    }
    if (failed) exit 1

    printf "\npexil-bench results (%s; %s CPUs; benchmark library built as %s)\n\n", file, cpus,
           libraryBuild
    printf "Per pixel (CPU time): the module against a baseline filter that makes the same\n"
    printf "pixel access calls and nothing else\n"
    printf "  %-28s %12s %12s %8s\n", "", "module ns", "baseline ns", "ratio"
    split("miss|hit_unconnected|hit", cases, "|")
    split("miss|hit, root unconnected|hit, 2-node network", labels, "|")
    split("miss|hit|hit", baselines, "|")
    for (i = 1; i <= 3; i++) {
        m = ns("pixel/" cases[i] "/module")
        base = ns("pixel/" baselines[i] "/baseline")
        printf "  %-28s %12s %12s %8s\n", labels[i], num(m, "%.1f"), num(base, "%.1f"),
               ratio(m, base)
    }

    printf "\nNetworks behind the root, on a hit (CPU time)\n"
    printf "pexil_PFOut, then ColorScale and ColorAdd by turns\n"
    printf "  %-28s %12s\n", "", "ns/pixel"
    split("1|5|20", sizes, "|")
    for (i = 1; i <= 3; i++)
        printf "  %-28s %12s\n", sizes[i] (sizes[i] == 1 ? " node" : " nodes"),
               num(ns("network/nodes:" sizes[i]), "%.1f")
    first = ns("network/nodes:1"); last = ns("network/nodes:20")
    printf "  %-28s %12s\n", "each node past the first",
           (first == "" || last == "") ? "-" : sprintf("%.1f", (last - first) / 19)

    with = "frame/xray_1920x1080/filters:1"; without = "frame/xray_1920x1080/filters:0"
    spp = has(with, "samples_per_pixel") ? get(with, "samples_per_pixel") : \
          get(without, "samples_per_pixel")
    printf "\nFrame (wall time): examples/xray.scene at 1920x1080, %s samples a pixel, all cores\n",
           spp == "" ? "?" : spp + 0
    printf "  %-28s %12s %12s\n", "", "s", "Mpixel/s"
    split(with "|" without, frames, "|")
    split("with filter|without filter", frameLabels, "|")
    for (i = 1; i <= 2; i++) {
        t = ns(frames[i])
        rate = has(frames[i], "pixels_per_second") ? get(frames[i], "pixels_per_second") / 1e6 : ""
        printf "  %-28s %12s %12s\n", frameLabels[i], num(t == "" ? "" : t / 1e9, "%.3f"),
               num(rate, "%.3f")
    }
    printf "  %-28s %12s\n", "ratio (with / without)", ratio(ns(with), ns(without))

    worst = ""; measured = 0
    for (i = 1; i <= count; i++) {
        b = names[i]
        if (!((b SUBSEP "allocs_per_pixel") in v)) continue
        measured++
        n = v[b, "allocs_per_pixel"] + 0
        if (worst == "" || n > worst) worst = n
    }
    printf "\nHeap allocations per evaluated pixel: %s (the most in any of %d per-pixel results)\n",
           worst == "" ? "-" : worst, measured

    printf "\nMemory at rest, per create: allocations by the module and by the host\n"
    split("memory/filter_instance|memory/sample_node", kinds, "|")
    split("filter instance|sample node", kindLabels, "|")
    for (i = 1; i <= 2; i++) {
        b = kinds[i]
        if (!has(b, "module_allocs")) { printf "  %-16s -\n", kindLabels[i]; continue }
        printf "  %-16s module: %g allocation(s), %g bytes asked, %g usable bytes held\n",
               kindLabels[i], get(b, "module_allocs"), get(b, "module_bytes"),
               get(b, "module_held")
        printf "  %-16s host:   %g allocations, %g bytes held\n", "", get(b, "host_allocs"),
               get(b, "host_held")
    }
    b = "memory/filter_instance"
    if (has(b, "module_static_bytes"))
        printf "  %-16s %g bytes of writable data in the module file, shared by all instances\n",
               "static data", get(b, "module_static_bytes")
}' "$json"
