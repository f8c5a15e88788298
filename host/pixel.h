// One pixel through a pixel filter: the host's pixel access record, whose
// buffer reads and ray shade come from a PixelSource, and whose RGBA write
// the host collects.
#pragma once

#include <array>
#include <vector>

#include "sdk/handler.h"
#include "sdk/pixel.h"
#include "sdk/shading.h"

namespace pexil::host {

class Host;

// What the pixel being filtered holds, and how the host shades a ray.
class PixelSource {
  public:
    virtual ~PixelSource() = default;
    // Fills `count` floats of buffer `type` (HostBufferType) for the pixel.
    virtual void values(int32_t type, int32_t count, float* out) = 0;
    // Fills `shading` for the first hit along the ray; the distance to it, or
    // a negative number when the ray hits nothing.
    virtual double shade(const double* start, const double* direction,
                         HostShadingRecord* shading) = 0;
};

struct PixelResult {
    std::array<float, 4> rgba{};  // what the filter wrote last
    int writes = 0;               // how many times it wrote
};

// Calls the filter's evaluate for the pixel at (sx, sy) and returns what it
// wrote. Buffer reads and ray shades outside this call are misuse.
PixelResult EvaluatePixel(Host& host, const HostPixelFilterHandler& filter, void* instance,
                          double sx, double sy, PixelSource& source);

// Fills `count` floats of buffer `type` from a pixel's rendered colour and
// shading buffers; channels a buffer does not have, and unknown types, read 0.
void ReadPixelBuffer(int32_t type, int32_t count, float* out, const std::array<float, 4>& rgba,
                     const std::array<float, 3>& diffuse, const std::array<float, 3>& specular);

// A pixel whose buffers and shading are set by hand: for tests and benchmarks.
struct ScriptedPixel : PixelSource {
    std::array<float, 4> rgba{};              // buffer 32
    std::array<float, 3> diffuse{};           // buffer 13
    std::array<float, 3> specular{};          // buffer 14
    HostShadingRecord shading{};              // what a hit fills in
    double distance = -1.0;                   // what ray shade answers
    std::vector<std::array<double, 6>> rays;  // start and direction of every ray shaded
    bool keepRays = true;

    void values(int32_t type, int32_t count, float* out) override;
    double shade(const double* start, const double* direction, HostShadingRecord* shading) override;
};

}  // namespace pexil::host
