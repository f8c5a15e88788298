// The renderer's ray tracer: spheres, infinite planes and axis-aligned boxes lit by distant and
// point lights, with shadows, highlights, mirrors and glass. It renders camera samples for the
// frame loop and answers the host's ray shade with a filled shading record.
//
// Conventions the rest of the renderer can rely on:
// - Normals: a shape's geometric normal points out of it (a plane's is its own normal). A ray
//   that meets a surface from the inside (or a plane from behind) sees the shading normal
//   flipped towards it, and the record says `hitSide` 2, `backFacing` 1.
// - Box faces (`polygonIndex`): 0 -x, 1 +x, 2 -y, 3 +y, 4 -z, 5 +z. Spheres and planes: 0.
// - Point lights do not fall off with distance (the renderer's customary default).
// - Recursion: camera rays have depth 0; reflected and refracted rays add 1; a surface hit by a
//   ray of depth 6 spawns no more rays and shows the background where its mirror or glass
//   would have shown more.
// - Everything is deterministic: blurred reflections and refractions spread over a fixed set of
//   directions, so the same ray always gives the same bytes, on any thread.
#pragma once

#include <array>
#include <memory>

#include "host/host.h"
#include "host/world.h"
#include "sdk/shading.h"

namespace pexil::render {

namespace tracer_detail {
struct Scene;  // the world, prepared for tracing (render/tracer.cpp)
}

// What one camera sample renders into the host's buffers.
struct SampleValues {
    std::array<float, 4> rgba{};      // the rendered colour (linear) and alpha
    std::array<float, 3> diffuse{};   // light diffusely received at the first hit
    std::array<float, 3> specular{};  // light specularly received at the first hit
};

class Tracer {
  public:
    // Copies what it needs: the world may change or go afterwards. Throws std::invalid_argument,
    // naming the object, surface or light, when the world cannot be traced: an object whose surface
    // does not exist, a sphere without a positive radius, a plane without a normal, a box of
    // negative size, a distant light without a direction, a refraction index that is not positive,
    // or a value that is not a finite number.
    explicit Tracer(const host::World& world);

    // The first surface along the ray from `start` in `direction` (made unit here). Fills every
    // member of `*shading` the tracer knows and returns the distance to the hit, or -1.0 when
    // nothing is hit (then the record is left as it came). pixelX, pixelY, sampleIndex and
    // threadIndex are never touched: the frame loop owns them. Thread-safe.
    double shade(const double start[3], const double direction[3],
                 HostShadingRecord* shading) const;

    // One camera sample: the camera's ray for film position (sx, sy) of the world's
    // settings.width x settings.height frame (HostCamera::ray puts the sample at
    // (sx + 0.5, sy + 0.5) in pixel units), traced and shaded. Alpha is 1 - w * (1 - a) on a hit,
    // where w is the share of the colour that comes through the surface (transparency, after
    // reflection took its share) and a is the alpha seen through it; on a miss it is the world's
    // background alpha. Thread-safe.
    SampleValues sample(const host::HostCamera& camera, double sx, double sy, double time) const;

    // The sample's camera ray and what `shade` answers for it.
    struct PrimaryRay {
        double start[3];
        double direction[3];
        HostShadingRecord shading;  // as `shade` fills a zero-filled record
        double distance;            // as `shade` returns it
    };
    // As above, and also the camera ray shaded as `shade` would, from the same trace
    // (the sample's colour is the same either way).
    SampleValues sample(const host::HostCamera& camera, double sx, double sy, double time,
                        PrimaryRay& primary) const;

    // The colour seen along a ray that has already been through `depth` bounces (0: a camera
    // ray). Rays deeper than the maximum depth see the background. Thread-safe.
    host::Vec3 radiance(const double start[3], const double direction[3], int depth) const;

  private:
    // The sample along a camera ray; fills `primary`'s record and distance when given.
    SampleValues trace(const double origin[3], const double direction[3],
                       PrimaryRay* primary) const;

    std::shared_ptr<const tracer_detail::Scene> scene_;
};

}  // namespace pexil::render
