#include "render/renderer.h"

#include <atomic>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/pixel.h"

namespace pexil::render {
namespace {

// What the filters read of one sample, and how the host shades their rays.
struct SamplePixel : host::PixelSource {
    const Tracer* tracer = nullptr;
    SampleValues* values_ = nullptr;
    uint32_t x = 0, y = 0, sample = 0, thread = 0;
    bool hit = false;

    void values(int32_t type, int32_t count, float* out) override {
        const float* from = nullptr;
        int32_t available = 0;
        switch (type) {
            case kBufferRgba:
                from = values_->rgba.data(), available = 4;
                break;
            case kBufferDiffuseShading:
                from = values_->diffuse.data(), available = 3;
                break;
            case kBufferSpecularShading:
                from = values_->specular.data(), available = 3;
                break;
            default:
                break;
        }
        for (int32_t i = 0; i < count; ++i) out[i] = i < available ? from[i] : 0.0f;
    }
    double shade(const double* start, const double* direction,
                 HostShadingRecord* shading) override {
        const double distance = tracer->shade(start, direction, shading);
        if (distance >= 0) {
            // The members only the frame loop knows.
            shading->pixelX = x;
            shading->pixelY = y;
            shading->sampleIndex = sample;
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
            for (int t = next++; t < tilesX * tilesY; t = next++) {
                const int x0 = (t % tilesX) * tile, y0 = (t / tilesX) * tile;
                for (int y = y0; y < std::min(y0 + tile, settings_.height); ++y) {
                    for (int x = x0; x < std::min(x0 + tile, settings_.width); ++x) {
                        float sum[4] = {0, 0, 0, 0};
                        for (int s = 0; s < samples; ++s) {
                            // A square grid of samples; the sample point is (sx + 0.5, sy + 0.5).
                            const double sx = x + (s % side + 0.5) / side - 0.5;
                            const double sy = y + (s / side + 0.5) / side - 0.5;
                            SampleValues v = tracer.sample(camera, sx, sy, time);
                            bool hit = false;
                            if (options_.filters || onSample) {
                                std::lock_guard<std::mutex> lock(filterLock);
                                pixel.values_ = &v;
                                pixel.x = static_cast<uint32_t>(x);
                                pixel.y = static_cast<uint32_t>(y);
                                pixel.sample = static_cast<uint32_t>(s);
                                if (options_.filters) {
                                    for (const host::FilterSlot& f : scene_.filters()) {
                                        const host::PixelResult r = host::EvaluatePixel(
                                            host_, f.records->filter, f.instance, sx, sy, pixel);
                                        v.rgba = r.rgba;
                                    }
                                }
                                if (onSample) {
                                    HostShadingRecord probe{};
                                    double start[3], dir[3];
                                    camera.ray(sx, sy, settings_.width, settings_.height, time,
                                               start, dir);
                                    hit = tracer.shade(start, dir, &probe) >= 0;
                                    onSample({x, y, s, sx, sy, hit, v.rgba.data()});
                                }
                            }
                            for (int c = 0; c < 4; ++c) sum[c] += v.rgba[c];
                        }
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
