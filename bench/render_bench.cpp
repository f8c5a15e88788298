// A full frame of an example scene through the renderer on every core, with
// its pixel filter and without: what the filter adds to a render.
#include <benchmark/benchmark.h>

#include <exception>
#include <memory>
#include <string>

#include "host/host.h"
#include "host/module_file.h"
#include "host/scene.h"
#include "render/image.h"
#include "render/renderer.h"

namespace pexil::render {
namespace {

constexpr int kWidth = 1920, kHeight = 1080;

void XrayFrame(benchmark::State& state) {
    const bool filters = state.range(0) != 0;
    try {
        host::Host host;
        host.config.trace = false;
        host::ModuleFile module(PEXIL_MODULE_PATH);
        host::Scene scene(host, module);  // declared after the module: its instances go first
        scene.loadFile(std::string(PEXIL_SOURCE_DIR) + "/examples/xray.scene");
        RenderOptions options;
        options.size = {kWidth, kHeight};
        options.filters = filters;
        Renderer renderer(host, scene, options);
        for (auto _ : state) {
            Image image = renderer.renderFrame(renderer.firstFrame());
            benchmark::DoNotOptimize(image.rgba.data());
        }
        using benchmark::Counter;
        state.counters["pixels_per_second"] =
            Counter(double{kWidth} * kHeight, Counter::kIsIterationInvariantRate);
        state.counters["samples_per_pixel"] = renderer.samplesPerPixel();
        if (!host.misuse().empty()) state.SkipWithError(host.misuse().front().c_str());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// A frame takes seconds: one of each is enough, and keeps the program short.
const bool kRegistered = [] {
    benchmark::RegisterBenchmark("frame/xray_1920x1080", XrayFrame)
        ->ArgName("filters")
        ->Arg(1)
        ->Arg(0)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace pexil::render
