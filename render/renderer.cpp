#include "render/renderer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/pixel.h"

namespace pexil::render {
namespace {

// One camera sample on its way through the filters.
struct Sample {
    int x, s;
    double sx, sy;
    SampleValues values;
    // The camera ray, shaded by the same trace that rendered the sample: a
    // filter that casts this same ray gets this answer instead of a second
    // trace, which also keeps the tracing out of the part where samples wait
    // for each other.
    Tracer::PrimaryRay ray;
};

// What the filters read of one sample, and how the host shades their rays.
struct SamplePixel : host::PixelSource {
    const Tracer* tracer = nullptr;
    Sample* sample = nullptr;
    uint32_t y = 0, thread = 0;

    bool isPrepared(const double* start, const double* direction) const {
        // The filter forms the same ray by its own arithmetic: allow for rounding.
        for (int i = 0; i < 3; ++i) {
            const double scale = std::max(1.0, std::fabs(sample->ray.start[i]));
            if (std::fabs(start[i] - sample->ray.start[i]) > 1e-9 * scale) return false;
            if (std::fabs(direction[i] - sample->ray.direction[i]) > 1e-12) return false;
        }
        return true;
    }

    void values(int32_t type, int32_t count, float* out) override {
        const SampleValues& v = sample->values;
        host::ReadPixelBuffer(type, count, out, v.rgba, v.diffuse, v.specular);
    }
    double shade(const double* start, const double* direction,
                 HostShadingRecord* shading) override {
        double distance;
        if (isPrepared(start, direction)) {
            std::memcpy(shading, &sample->ray.shading, sizeof sample->ray.shading);
            distance = sample->ray.distance;
        } else {
            distance = tracer->shade(start, direction, shading);
        }
        if (distance >= 0) {
            // The members only the frame loop knows.
            shading->pixelX = static_cast<uint32_t>(sample->x);
            shading->pixelY = y;
            shading->sampleIndex = static_cast<uint32_t>(sample->s);
            shading->threadIndex = thread;
        }
        return distance;
    }
};

}  // namespace

Renderer::Renderer(host::Host& host, host::Scene& scene, RenderOptions options)
    : host_(host), scene_(scene), options_(options), world_(scene.world().world) {
    settings_ = world_.settings;
    if (options_.frames) {
        settings_.firstFrame = options_.frames->first;
        settings_.lastFrame = options_.frames->second;
        if (settings_.lastFrame < settings_.firstFrame)
            throw std::invalid_argument("the last frame comes before the first");
    }
    if (options_.size) {
        settings_.width = options_.size->first;
        settings_.height = options_.size->second;
        if (settings_.width < 1 || settings_.height < 1 || settings_.width > 65536 ||
            settings_.height > 65536)
            throw std::invalid_argument("the frame size must be from 1 to 65536 pixels a side");
    }
    if (options_.aaSamples) {
        const int n = *options_.aaSamples;
        const int side = static_cast<int>(std::lround(std::sqrt(n)));
        if (n < 1 || n > 256 || side * side != n)
            throw std::invalid_argument(
                "anti-aliasing takes a square number of samples from 1 to 256");
        settings_.aaSamples = n;
    }
    world_.settings = settings_;
}

void Renderer::frameImage(int frame, Image& image, std::size_t& tilesDone, std::size_t tilesTotal) {
    const double time = frame / settings_.framesPerSecond;
    const host::HostCamera& camera = host_.cameras()[host_.renderCameraIndex(time)];
    const Tracer tracer(world_);
    const int side = static_cast<int>(std::lround(std::sqrt(settings_.aaSamples)));
    const int samples = side * side;
    const int tile = options_.tileSize;
    const int tilesX = (settings_.width + tile - 1) / tile,
              tilesY = (settings_.height + tile - 1) / tile;

    std::atomic<int> next{0};
    std::mutex filterLock;  // one sample at a time through the filters
    std::mutex progressLock;
    std::exception_ptr failure;
    auto work = [&](uint32_t thread) {
        try {
            SamplePixel pixel;
            pixel.tracer = &tracer;
            pixel.thread = thread;
            const bool filtering = (options_.filters && !scene_.filters().empty()) || onSample;
            std::vector<Sample> row;  // the samples of one row of a tile
            for (int t = next++; t < tilesX * tilesY; t = next++) {
                const int x0 = (t % tilesX) * tile, y0 = (t / tilesX) * tile;
                const int x1 = std::min(x0 + tile, settings_.width);
                for (int y = y0; y < std::min(y0 + tile, settings_.height); ++y) {
                    row.clear();
                    for (int x = x0; x < x1; ++x) {
                        for (int s = 0; s < samples; ++s) {
                            // A square grid of samples; the sample point is (sx + 0.5, sy + 0.5).
                            Sample& m = row.emplace_back();
                            m.x = x;
                            m.s = s;
                            m.sx = x + (s % side + 0.5) / side - 0.5;
                            m.sy = y + (s / side + 0.5) / side - 0.5;
                            m.values = filtering ? tracer.sample(camera, m.sx, m.sy, time, m.ray)
                                                 : tracer.sample(camera, m.sx, m.sy, time);
                        }
                    }
                    if (filtering) {
                        // One sample at a time through the filters, the row in one turn.
                        std::lock_guard<std::mutex> lock(filterLock);
                        pixel.y = static_cast<uint32_t>(y);
                        for (Sample& m : row) {
                            pixel.sample = &m;
                            if (options_.filters)
                                for (const host::FilterSlot& f : scene_.filters())
                                    m.values.rgba =
                                        host::EvaluatePixel(host_, f.records->filter, f.instance,
                                                            m.sx, m.sy, pixel)
                                            .rgba;
                            if (onSample)
                                onSample({m.x, y, m.s, m.sx, m.sy, m.ray.distance >= 0,
                                          m.values.rgba.data()});
                        }
                    }
                    for (int x = x0; x < x1; ++x) {
                        float sum[4] = {0, 0, 0, 0};
                        for (int s = 0; s < samples; ++s)
                            for (int c = 0; c < 4; ++c)
                                sum[c] += row[static_cast<std::size_t>((x - x0) * samples + s)]
                                              .values.rgba[c];
                        float* out = image.at(x, y);
                        for (int c = 0; c < 4; ++c) out[c] = sum[c] / samples;
                    }
                }
                std::lock_guard<std::mutex> lock(progressLock);
                ++tilesDone;
                if (progress) progress(static_cast<double>(tilesDone) / tilesTotal);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(progressLock);
            if (!failure) failure = std::current_exception();
            next = tilesX * tilesY;  // the others stop at their next tile
        }
    };
    int threads = options_.threads > 0 ? options_.threads
                                       : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::max(1, std::min(threads, tilesX * tilesY));
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(work, static_cast<uint32_t>(i));
    work(0);
    for (std::thread& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
}

void Renderer::render(const std::function<void(int, const Image&)>& done) {
    const bool traced = host_.config.trace;
    host_.config.trace = false;  // millions of calls; and the tracer's threads must not race on it
    host_.setFrameSize(settings_.width, settings_.height);
    const int tile = options_.tileSize;
    const std::size_t tilesPerFrame =
        static_cast<std::size_t>((settings_.width + tile - 1) / tile) *
        ((settings_.height + tile - 1) / tile);
    const std::size_t tilesTotal = tilesPerFrame * (settings_.lastFrame - settings_.firstFrame + 1);
    std::size_t tilesDone = 0;

    const bool filtering = options_.filters;
    if (filtering)
        for (const host::FilterSlot& f : scene_.filters()) f.records->rend.init(f.instance, 0);
    try {
        for (int frame = settings_.firstFrame; frame <= settings_.lastFrame; ++frame) {
            const double time = frame / settings_.framesPerSecond;
            if (filtering)
                for (const host::FilterSlot& f : scene_.filters())
                    f.records->rend.newTime(f.instance, frame, time);
            Image image(settings_.width, settings_.height);
            frameImage(frame, image, tilesDone, tilesTotal);
            done(frame, image);
        }
    } catch (...) {
        if (filtering)
            for (const host::FilterSlot& f : scene_.filters()) f.records->rend.cleanup(f.instance);
        host_.config.trace = traced;
        throw;
    }
    if (filtering)
        for (const host::FilterSlot& f : scene_.filters()) f.records->rend.cleanup(f.instance);
    host_.config.trace = traced;
}

Image Renderer::renderFrame(int frame) {
    settings_.firstFrame = settings_.lastFrame = frame;
    Image result;
    render([&](int, const Image& image) { result = image; });
    return result;
}

}  // namespace pexil::render
