#include "host/pixel.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "host/host.h"

namespace pexil::host {
namespace {

struct PixelCall {
    Host* host;
    PixelSource* source;
    PixelResult result;
};

// The pixel access operations carry no context: they act on the pixel the
// calling thread is evaluating.
thread_local PixelCall* tPixel = nullptr;

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

PixelCall* Current(const char* operation) {
    if (tPixel == nullptr) {
        if (Host* h = Host::current())
            h->reportMisuse(std::string("pixel access ") + operation +
                            " outside a pixel's evaluation");
    }
    return tPixel;
}

void PX_CDECL GetValues(int32_t type, int32_t count, float* out) noexcept {
    PixelCall* p = Current("get values");
    if (p == nullptr) return;
    if (p->host->config.trace)
        p->host->trace().add(
            {"PixelAccess", 0, "get values", {std::to_string(type), std::to_string(count)}});
    if (out == nullptr || count < 0 || count > 4) {
        p->host->reportMisuse("pixel access get values: " + std::to_string(count) +
                              " values into " + (out ? "a buffer" : "null"));
        return;
    }
    p->source->values(type, count, out);
}

void PX_CDECL SetRgba(const float* rgba) noexcept {
    PixelCall* p = Current("set RGBA");
    if (p == nullptr) return;
    if (p->host->config.trace)
        p->host->trace().add({"PixelAccess",
                              0,
                              "set rgba",
                              {Num(rgba[0]), Num(rgba[1]), Num(rgba[2]), Num(rgba[3])}});
    std::memcpy(p->result.rgba.data(), rgba, 4 * sizeof(float));
    ++p->result.writes;
}

double PX_CDECL RayShade(const double* start, const double* direction,
                         HostShadingRecord* shading) noexcept {
    PixelCall* p = Current("ray shade");
    if (p == nullptr) return -1.0;
    if (p->host->config.trace)
        p->host->trace().add({"PixelAccess",
                              0,
                              "ray shade",
                              {Num(start[0]), Num(start[1]), Num(start[2]), Num(direction[0]),
                               Num(direction[1]), Num(direction[2])}});
    if (shading == nullptr) {
        p->host->reportMisuse("pixel access ray shade: no shading record");
        return -1.0;
    }
    return p->source->shade(start, direction, shading);
}

}  // namespace

PixelResult EvaluatePixel(Host& host, const HostPixelFilterHandler& filter, void* instance,
                          double sx, double sy, PixelSource& source) {
    HostPixelAccess access{};
    access.sx = sx;
    access.sy = sy;
    access.getValues = GetValues;
    access.setRgba = SetRgba;
    access.rayShade = RayShade;
    PixelCall call{&host, &source, {}};
    PixelCall* outer = tPixel;
    tPixel = &call;
    filter.evaluate(instance, &access);
    tPixel = outer;
    if (call.result.writes != 1)
        host.reportMisuse("the filter wrote pixel (" + Num(sx) + ", " + Num(sy) + ") " +
                          std::to_string(call.result.writes) + " times, expected once");
    return call.result;
}

void ReadPixelBuffer(int32_t type, int32_t count, float* out, const std::array<float, 4>& rgba,
                     const std::array<float, 3>& diffuse, const std::array<float, 3>& specular) {
    const float* from = nullptr;
    int32_t available = 0;
    switch (type) {
        case kBufferRgba:
            from = rgba.data(), available = 4;
            break;
        case kBufferDiffuseShading:
            from = diffuse.data(), available = 3;
            break;
        case kBufferSpecularShading:
            from = specular.data(), available = 3;
            break;
        default:
            break;
    }
    for (int32_t i = 0; i < count; ++i) out[i] = i < available ? from[i] : 0.0f;
}

void ScriptedPixel::values(int32_t type, int32_t count, float* out) {
    ReadPixelBuffer(type, count, out, rgba, diffuse, specular);
}

double ScriptedPixel::shade(const double* start, const double* direction, HostShadingRecord* out) {
    if (keepRays)
        rays.push_back({start[0], start[1], start[2], direction[0], direction[1], direction[2]});
    std::memcpy(out, &shading, sizeof shading);
    return distance;
}

}  // namespace pexil::host
