// What a scene holds besides its cameras and filters: render settings,
// surfaces, objects and lights. The scene reader fills it; the tracer reads it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace pexil::host {

using Vec3 = std::array<double, 3>;

inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
// `v` scaled to unit length; a zero vector stays zero.
inline Vec3 Unit(const Vec3& v) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return l > 0 ? Vec3{v[0] / l, v[1] / l, v[2] / l} : v;
}

struct RenderSettings {
    int width = 640;
    int height = 480;
    int firstFrame = 1;
    int lastFrame = 1;
    double framesPerSecond = 24.0;
    Vec3 background{0, 0, 0};    // what a ray that hits nothing sees (linear)
    double backgroundAlpha = 0;  // the alpha of such a pixel
    int aaSamples = 1;           // camera samples per pixel: 1, 4, 9, 16, ... (a square grid)
};

// Every attribute the shading record carries about a surface.
struct Surface {
    std::string name;
    Vec3 color{0.8, 0.8, 0.8};
    double luminosity = 0;        // light the surface gives off itself, 0-1
    double diffuse = 1;           // share of arriving light scattered, 0-1
    double specularity = 0;       // strength of highlights, 0-1
    double glossiness = 0.4;      // sharpness of highlights, 0-1
    double reflection = 0;        // mirror share, 0-1
    double transparency = 0;      // share of light passing through, 0-1
    double refractionIndex = 1;   // 1: no bending
    double translucency = 0;      // light from behind that shows through, 0-1
    double bumpHeight = 0;        // amplitude of the surface's bump pattern
    double diffuseSharpness = 0;  // 0 soft terminator, 1 hard
    double reflectionBlur = 0;    // 0-1
    double refractionBlur = 0;    // 0-1
    Vec3 replacementColor{0, 0, 0};
    double replacementPercentage = 0;  // 0-1: how much of the colour the replacement takes
};

enum class ShapeKind { Sphere, Plane, Box };

struct Object {
    std::string name;
    ShapeKind kind = ShapeKind::Sphere;
    Vec3 position{0, 0, 0};   // sphere and box: centre; plane: a point on it
    double radius = 1;        // sphere
    Vec3 normal{0, 1, 0};     // plane
    Vec3 size{1, 1, 1};       // box: full extents along x, y, z (axis-aligned)
    std::size_t surface = 0;  // index into World::surfaces
};

enum class LightKind { Distant, Point };

struct Light {
    std::string name;
    LightKind kind = LightKind::Distant;
    Vec3 position{0, 0, 0};    // point lights
    Vec3 direction{0, -1, 0};  // distant lights: the way the light travels
    Vec3 color{1, 1, 1};
    double intensity = 1;
    bool shadows = true;
};

struct World {
    RenderSettings settings;
    std::vector<Surface> surfaces;  // objects refer to them by index
    std::vector<Object> objects;
    std::vector<Light> lights;
    Vec3 ambient{0.05, 0.05, 0.05};  // light arriving from everywhere
};

}  // namespace pexil::host
