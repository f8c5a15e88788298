// The frame loop: renders a scene's frames and runs every pixel filter of the
// scene over them the way the renderer does.
//
// For each render: every filter's init; for each frame: every filter's new
// time, then the frame in tiles on all cores; each camera sample is traced,
// then handed to the filters one sample at a time (the module keeps one
// record of the current pixel, so filter calls never overlap), at that
// sample's position, before samples are averaged into the pixel; after the
// last frame, every filter's cleanup.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "host/host.h"
#include "host/scene.h"
#include "render/image.h"
#include "render/tracer.h"

namespace pexil::render {

struct RenderOptions {
    std::optional<std::pair<int, int>> frames;  // first and last frame, instead of the scene's
    std::optional<std::pair<int, int>> size;    // width and height, instead of the scene's
    std::optional<int> aaSamples;               // a square number, instead of the scene's
    bool filters = true;                        // false: the plain render
    int threads = 0;                            // 0: every core
    int tileSize = 32;
};

// One camera sample after the filters, for callers that look at samples.
struct SampleInfo {
    int x, y;           // the pixel
    int sampleIndex;    // 0 .. samples - 1
    double sx, sy;      // the sample's position
    bool hit;           // whether the camera ray hit a surface
    const float* rgba;  // after the filters
};

class Renderer {
  public:
    Renderer(host::Host& host, host::Scene& scene, RenderOptions options = {});

    int width() const { return settings_.width; }
    int height() const { return settings_.height; }
    int firstFrame() const { return settings_.firstFrame; }
    int lastFrame() const { return settings_.lastFrame; }
    int samplesPerPixel() const { return settings_.aaSamples; }

    // Called after every finished tile with the fraction of the render done; any thread.
    std::function<void(double)> progress;
    // Called for every sample after the filters, one at a time.
    std::function<void(const SampleInfo&)> onSample;

    // Renders every frame and hands each finished image to `done` (frame number, image).
    void render(const std::function<void(int, const Image&)>& done);
    // Renders one frame; init, new time and cleanup included.
    Image renderFrame(int frame);

  private:
    void frameImage(int frame, Image& image, std::size_t& tilesDone, std::size_t tilesTotal);

    host::Host& host_;
    host::Scene& scene_;
    RenderOptions options_;
    host::RenderSettings settings_;
    host::World world_;
};

}  // namespace pexil::render
