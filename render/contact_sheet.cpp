#include "render/contact_sheet.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "host/network_eval.h"
#include "render/font.h"

namespace pexil::render {

Image OutputsSheet(host::Host& host, host::Scene& scene, const RenderOptions& options, int frame) {
    if (scene.filters().empty()) throw std::runtime_error("the scene has no pixel filter to read");
    if (host.editors().empty()) throw std::runtime_error("the scene's filter has no node editor");
    host::NodeEditor& editor = *host.editors().back();
    host::Node& probe = host.addPluginNode(editor, "pexil_PFOut");

    RenderOptions o = options;
    o.frames = {frame, frame};
    Renderer renderer(host, scene, o);
    const int w = renderer.width(), h = renderer.height(), samples = renderer.samplesPerPixel();
    const std::size_t outputs = probe.outputs.size();
    // Per output and pixel: the sum of the samples' values (three channels).
    std::vector<double> sums(outputs * w * h * 3, 0.0);
    std::vector<double> low(outputs, std::numeric_limits<double>::infinity());
    std::vector<double> high(outputs, -std::numeric_limits<double>::infinity());
    std::vector<int> hits(static_cast<std::size_t>(w) * h, 0);
    renderer.onSample = [&](const SampleInfo& s) {
        if (!s.hit) return;
        ++hits[static_cast<std::size_t>(s.y) * w + s.x];
        for (std::size_t k = 0; k < outputs; ++k) {
            const host::NodeOutput& out = *probe.outputs[k];
            const host::ValueSlot v = host::EvaluateOutput(out, nullptr);
            const int channels = out.type == kConnectionColor ? 3 : 1;
            double* sum = &sums[((k * h + s.y) * w + s.x) * 3];
            for (int c = 0; c < 3; ++c) sum[c] += v.value[channels == 3 ? c : 0];
            if (channels == 1) {
                low[k] = std::min(low[k], v.value[0]);
                high[k] = std::max(high[k], v.value[0]);
            }
        }
    };
    renderer.render([](int, const Image&) {});

    // Tiles in a grid, each with a label strip above the picture.
    const int columns = 6, rows = static_cast<int>((outputs + columns - 1) / columns);
    const int gap = 4, label = TextHeight() * 2 + 6;
    Image sheet(columns * (w + gap) + gap, rows * (h + label + gap) + gap);
    FillRect(sheet, 0, 0, sheet.width, sheet.height, {0.02f, 0.02f, 0.02f, 1});
    for (std::size_t k = 0; k < outputs; ++k) {
        const host::NodeOutput& out = *probe.outputs[k];
        const bool colour = out.type == kConnectionColor;
        const int x0 = gap + static_cast<int>(k % columns) * (w + gap);
        const int y0 = gap + static_cast<int>(k / columns) * (h + label + gap);
        char title[64];
        std::snprintf(title, sizeof title, "%zu %s", k + 1, out.name.c_str());
        DrawText(sheet, x0 + 2, y0 + 2, title, {1, 1, 1, 1});
        char range[64] = "colour";
        const bool seen = low[k] <= high[k];
        if (!colour)
            std::snprintf(range, sizeof range, seen ? "%.3g .. %.3g" : "no hits", low[k], high[k]);
        DrawText(sheet, x0 + 2, y0 + 4 + TextHeight(), range, {0.7f, 0.7f, 0.7f, 1});
        // A scalar that never changes shows as itself, so 1 is white and 0 black.
        const bool varies = seen && high[k] > low[k];
        const double span = varies ? high[k] - low[k] : 1.0, base = varies ? low[k] : 0.0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double* sum = &sums[((k * h + y) * w + x) * 3];
                const int n = hits[static_cast<std::size_t>(y) * w + x];
                float* px = sheet.at(x0 + x, y0 + label + y);
                // Weighted by how much of the pixel the surface covers: misses show black.
                const double coverage = static_cast<double>(n) / samples;
                for (int c = 0; c < 3; ++c) {
                    const double mean = n > 0 ? sum[c] / n : 0.0;
                    const double shown = colour ? mean : (mean - base) / span;
                    px[c] = static_cast<float>(n > 0 ? shown * coverage : 0.0);
                }
                px[3] = 1;
            }
        }
    }
    // The probe node stays in the network; nothing saves it.
    return sheet;
}

}  // namespace pexil::render
