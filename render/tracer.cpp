#include "render/tracer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace pexil::render {

namespace tracer_detail {

// A small value type for the hot path; host::Vec3 only at the edges.
struct V3 {
    double x = 0, y = 0, z = 0;
};

inline V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator-(V3 a) {
    return {-a.x, -a.y, -a.z};
}
inline V3 operator*(V3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline V3 operator*(V3 a, V3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
inline V3& operator+=(V3& a, V3 b) {
    return a = a + b;
}
inline double Dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 Cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(V3 a) {
    return std::sqrt(Dot(a, a));
}
inline V3 Unit(V3 a) {
    const double l = Length(a);
    return l > 0 ? a * (1.0 / l) : a;
}
inline double Get(V3 a, int axis) {
    return axis == 0 ? a.x : axis == 1 ? a.y : a.z;
}
inline V3 FromArray(const double* p) {
    return {p[0], p[1], p[2]};
}
inline V3 FromVec(const host::Vec3& v) {
    return {v[0], v[1], v[2]};
}
inline host::Vec3 ToVec(V3 a) {
    return {a.x, a.y, a.z};
}
inline void Store(V3 a, double* out) {
    out[0] = a.x;
    out[1] = a.y;
    out[2] = a.z;
}
inline double Luminance(V3 c) {
    return 0.2126 * c.x + 0.7152 * c.y + 0.0722 * c.z;
}

// Deepest ray that still spawns reflected and refracted rays' children: camera rays are depth 0.
constexpr int kMaxDepth = 6;
// Directions a blurred reflection or refraction is spread over (at the first hit only, so that
// blurred surfaces facing each other do not multiply rays at every bounce).
constexpr int kBlurSamples = 8;
// Hits closer than this along a ray are ignored (secondary rays also start off the surface).
constexpr double kMinDistance = 1e-9;
// Secondary rays start this far off the surface, relative to the scale of the hit position
// (millions of times the rounding error of a double, still far below any visible gap).
constexpr double kOffset = 1e-9;
// The ray's footprint grows by this much per unit of distance (about one pixel of a 1000-pixel
// wide view); the host reports it as the hit's spot size.
constexpr double kSpotPerDistance = 0.001;

struct Shape {
    host::ShapeKind kind = host::ShapeKind::Sphere;
    V3 position;         // sphere and box: centre; plane: a point on it
    double radius2 = 1;  // sphere: radius squared
    V3 normal;           // plane: unit normal
    V3 lo, hi;           // box: corners
    std::size_t surface = 0;
};

// A surface with what every hit needs worked out once.
struct Material {
    host::Surface source;  // as given, for the shading record
    V3 color;              // after the replacement colour took its share
    double diffuse = 0;
    double luminosity = 0;
    double specularity = 0;
    double exponent = 1;      // Blinn-Phong exponent from glossiness
    double reflection = 0;    // clamped to 0-1
    double transparency = 0;  // clamped to 0-1
    double refractionIndex = 1;
    double translucency = 0;
    double bumpHeight = 0;
    double sharpnessPower = 1;  // the cosine is raised to this to sharpen the terminator
    double reflectionBlur = 0;  // clamped to 0-1
    double refractionBlur = 0;  // clamped to 0-1
};

struct LightInfo {
    bool distant = true;
    V3 toLight;   // distant lights: unit vector towards the light
    V3 position;  // point lights
    V3 color;
    double intensity = 1;
    bool shadows = true;
};

struct Scene {
    std::vector<Shape> shapes;
    std::vector<Material> materials;
    std::vector<LightInfo> lights;
    V3 ambient;
    V3 background;
    double backgroundAlpha = 0;
    int width = 0, height = 0;
};

struct Hit {
    double t = 0;
    std::size_t object = 0;
    uint32_t face = 0;
    V3 outward;           // the geometric normal, pointing out of the shape
    bool inside = false;  // the ray met the surface from inside (a plane: from behind)
};

// What a ray brings back: colour, and the alpha a pixel gets from it.
struct Result {
    V3 color;
    double alpha = 1;
};

// What the first hit of a camera sample or a host ray shade reports besides its colour.
struct Detail {
    bool traceAll = false;  // trace reflected and refracted rays even if the surface shows neither
    V3 normal, perturbed;
    V3 diffuseLight, specularLight;
    V3 reflectionShade, refractionShade;
    double lightIntensity[4] = {0, 0, 0, 0};
    V3 lightColor[4];
    uint32_t shadowFlags = 0;
};

namespace {

bool IntersectSphere(const Shape& s, V3 o, V3 d, double tMin, double tMax, Hit* hit) {
    const V3 oc = o - s.position;
    const double b = Dot(oc, d);
    // Distance from the centre to the ray's line, computed without cancelling large terms.
    const V3 q = oc - d * b;
    const double disc = s.radius2 - Dot(q, q);
    if (disc < 0) return false;
    const double root = std::sqrt(disc);
    const double t0 = -b - root, t1 = -b + root;
    double t;
    if (t0 > tMin && t0 < tMax) {
        t = t0;
        hit->inside = false;
    } else if (t1 > tMin && t1 < tMax) {
        t = t1;
        hit->inside = true;  // the near root is behind the start: we are inside
    } else {
        return false;
    }
    hit->t = t;
    hit->face = 0;
    hit->outward = Unit(o + d * t - s.position);
    return true;
}

bool IntersectPlane(const Shape& s, V3 o, V3 d, double tMin, double tMax, Hit* hit) {
    const double denom = Dot(d, s.normal);
    if (denom == 0) return false;
    const double t = Dot(s.position - o, s.normal) / denom;
    if (!(t > tMin && t < tMax)) return false;
    hit->t = t;
    hit->face = 0;
    hit->outward = s.normal;
    hit->inside = denom > 0;  // travelling along the normal: the ray comes from behind
    return true;
}

bool IntersectBox(const Shape& s, V3 o, V3 d, double tMin, double tMax, Hit* hit) {
    double tNear = -std::numeric_limits<double>::infinity();
    double tFar = std::numeric_limits<double>::infinity();
    int nearAxis = -1, farAxis = -1;
    for (int a = 0; a < 3; ++a) {
        const double oa = Get(o, a), da = Get(d, a), lo = Get(s.lo, a), hi = Get(s.hi, a);
        if (da == 0) {
            if (oa < lo || oa > hi) return false;
            continue;
        }
        double t1 = (lo - oa) / da, t2 = (hi - oa) / da;
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tNear) tNear = t1, nearAxis = a;
        if (t2 < tFar) tFar = t2, farAxis = a;
        if (tNear > tFar) return false;
    }
    int axis;
    bool positiveFace;
    if (nearAxis >= 0 && tNear > tMin && tNear < tMax) {
        // Entering: through the low face when travelling up the axis, the high face otherwise.
        hit->t = tNear;
        hit->inside = false;
        axis = nearAxis;
        positiveFace = Get(d, axis) < 0;
    } else if (farAxis >= 0 && tFar > tMin && tFar < tMax) {
        // Leaving from inside: through the face ahead.
        hit->t = tFar;
        hit->inside = true;
        axis = farAxis;
        positiveFace = Get(d, axis) > 0;
    } else {
        return false;
    }
    hit->face = static_cast<uint32_t>(2 * axis + (positiveFace ? 1 : 0));
    const double sign = positiveFace ? 1.0 : -1.0;
    hit->outward = {axis == 0 ? sign : 0.0, axis == 1 ? sign : 0.0, axis == 2 ? sign : 0.0};
    return true;
}

bool IntersectShape(const Shape& s, V3 o, V3 d, double tMin, double tMax, Hit* hit) {
    switch (s.kind) {
        case host::ShapeKind::Sphere:
            return IntersectSphere(s, o, d, tMin, tMax, hit);
        case host::ShapeKind::Plane:
            return IntersectPlane(s, o, d, tMin, tMax, hit);
        case host::ShapeKind::Box:
            return IntersectBox(s, o, d, tMin, tMax, hit);
    }
    return false;
}

// The nearest hit along a ray with a unit direction.
bool Closest(const Scene& scene, V3 o, V3 d, Hit* hit) {
    double tMax = std::numeric_limits<double>::infinity();
    bool found = false;
    Hit h;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        if (IntersectShape(scene.shapes[i], o, d, kMinDistance, tMax, &h)) {
            h.object = i;
            *hit = h;
            tMax = h.t;
            found = true;
        }
    }
    return found;
}

// How much of a light passes the objects between a point and the light: a scalar share (the
// product of the occluders' transparencies) and a tint (the product of their colours). Every
// object counts once however often the ray crosses its surface. The object the point lies on is
// skipped: every shape is convex, so it cannot shade its own lit side, and light from behind is
// what translucency lets through.
void Occlusion(const Scene& scene, V3 o, V3 L, double maxDistance, std::size_t self, double* share,
               V3* tint, bool* blocked) {
    *share = 1;
    *tint = {1, 1, 1};
    *blocked = false;
    Hit h;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        if (i == self) continue;
        const Shape& s = scene.shapes[i];
        if (!IntersectShape(s, o, L, kMinDistance, maxDistance, &h)) continue;
        const Material& m = scene.materials[s.surface];
        *blocked = true;
        *share *= m.transparency;
        *tint = *tint * m.color;
        if (*share == 0) return;
    }
}

// The slope of the bump pattern at an object-space position: the gradient of
// h(q) = A/3 * (sin(k1.q) + sin(k2.q) + sin(k3.q)), a smooth pattern whose height stays within
// the amplitude A. Three slanted waves keep it from looking like a grid.
V3 BumpGradient(double amplitude, V3 q) {
    static constexpr V3 k[3] = {{9.0, 3.0, 1.5}, {-2.0, 8.5, 3.5}, {2.5, -3.0, 9.5}};
    V3 g;
    for (const V3& ki : k) g += ki * std::cos(Dot(ki, q));
    return g * (amplitude / 3.0);
}

// A unit vector pair perpendicular to unit `n`.
void Basis(V3 n, V3* t, V3* b) {
    const double sign = std::copysign(1.0, n.z);
    const double a = -1.0 / (sign + n.z);
    const double c = n.x * n.y * a;
    *t = {1.0 + sign * n.x * n.x * a, sign * c, -sign * n.x};
    *b = {c, sign + n.y * n.y * a, -n.y};
}

// A fixed angle in [0, 2 pi) from the bits of a position: turns the blur pattern from hit to
// hit, so a blur looks grainy rather than like a few ghost images, and stays reproducible.
double PatternTurn(V3 p) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (double c : {p.x, p.y, p.z}) {
        h ^= std::bit_cast<uint64_t>(c) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
        h ^= h >> 31;
    }
    return static_cast<double>(h >> 11) * (2.0 * std::numbers::pi / 9007199254740992.0);
}

// Keeps a direction on the wanted side of the surface: `side` is the facing geometric normal
// times +1 (stay in front, for reflections) or -1 (go behind, for refractions). A direction on
// the wrong side is mirrored across the surface.
V3 KeepSide(V3 dir, V3 side) {
    const double s = Dot(dir, side);
    if (s > 0) return dir;
    return Unit(dir - side * (2 * s));
}

Result Trace(const Scene& scene, V3 o, V3 d, int depth);

// The average of rays from `origin` around `central` spread by `blur` (0 sharp, 1 up to 45
// degrees off), each kept on the `side` of the surface.
Result Gather(const Scene& scene, V3 origin, V3 central, V3 side, double blur, double turn,
              int depth) {
    const int count = (blur > 0 && depth == 0) ? kBlurSamples : 1;
    if (count == 1) return Trace(scene, origin, KeepSide(central, side), depth + 1);
    V3 t, b;
    Basis(central, &t, &b);
    Result sum{{}, 0};
    constexpr double kGolden = 2.399963229728653;  // radians between successive spiral points
    for (int i = 0; i < count; ++i) {
        // Points of a Vogel spiral fill the unit disc evenly.
        const double r = std::sqrt((i + 0.5) / count);
        const double a = i * kGolden + turn;
        const V3 dir = Unit(central + (t * (r * std::cos(a)) + b * (r * std::sin(a))) * blur);
        const Result one = Trace(scene, origin, KeepSide(dir, side), depth + 1);
        sum.color += one.color;
        sum.alpha += one.alpha;
    }
    return {sum.color * (1.0 / count), sum.alpha / count};
}

struct Frame {
    V3 p;         // hit position
    V3 d;         // incoming direction
    V3 facing;    // geometric normal turned towards the ray
    V3 bumped;    // shading normal after bump, turned towards the ray
    double eps;   // offset for rays leaving the surface
    double turn;  // blur pattern angle
    bool inside;
};

Result Reflected(const Scene& scene, const Frame& f, double blur, int depth) {
    if (depth >= kMaxDepth) return {scene.background, scene.backgroundAlpha};
    const V3 r = Unit(f.d - f.bumped * (2 * Dot(f.d, f.bumped)));
    return Gather(scene, f.p + f.facing * f.eps, r, f.facing, blur, f.turn, depth);
}

Result Refracted(const Scene& scene, const Frame& f, double index, double reflectionBlur,
                 double refractionBlur, int depth) {
    if (depth >= kMaxDepth) return {scene.background, scene.backgroundAlpha};
    // A bump can turn the shading normal away from the ray; bend about the geometric one then.
    const V3 n = Dot(f.d, f.bumped) < 0 ? f.bumped : f.facing;
    const double eta = f.inside ? index : 1.0 / index;  // from outside into the index, or back
    const double cosi = -Dot(f.d, n);
    const double k = 1 - eta * eta * (1 - cosi * cosi);
    if (k < 0) return Reflected(scene, f, reflectionBlur, depth);  // total internal reflection
    const V3 t = Unit(f.d * eta + n * (eta * cosi - std::sqrt(k)));
    return Gather(scene, f.p - f.facing * f.eps, t, -f.facing, refractionBlur, f.turn, depth);
}

// The colour at a hit, from every light, the ambient light, the surface's own light and what
// its mirror and glass show.
Result ShadeHit(const Scene& scene, V3 o, V3 d, const Hit& hit, int depth, Detail* detail) {
    const Shape& shape = scene.shapes[hit.object];
    const Material& m = scene.materials[shape.surface];
    Frame f;
    f.p = o + d * hit.t;
    f.d = d;
    f.inside = hit.inside;
    f.facing = hit.inside ? -hit.outward : hit.outward;
    V3 bumped = hit.outward;
    if (m.bumpHeight != 0) {
        // A height field along the outward normal tilts it against the pattern's slope.
        const V3 g = BumpGradient(m.bumpHeight, f.p - shape.position);
        bumped = Unit(hit.outward - (g - hit.outward * Dot(g, hit.outward)));
    }
    f.bumped = hit.inside ? -bumped : bumped;
    // The hit position's rounding error grows with its coordinates and the distance travelled.
    const double scale =
        std::max({1.0, std::fabs(f.p.x), std::fabs(f.p.y), std::fabs(f.p.z), hit.t});
    f.eps = kOffset * scale;
    f.turn = 0;
    const V3 view = -d;
    const V3 n = f.bumped;

    V3 local;         // what the surface scatters itself, before mirror and glass take shares
    V3 diffuseLight;  // light received diffusely: the diffuse buffer
    V3 specularLight;
    for (std::size_t k = 0; k < scene.lights.size(); ++k) {
        const LightInfo& light = scene.lights[k];
        V3 L;
        double distance;
        if (light.distant) {
            L = light.toLight;
            distance = std::numeric_limits<double>::infinity();
        } else {
            const V3 v = light.position - f.p;
            distance = Length(v);
            L = distance > 0 ? v * (1.0 / distance) : f.facing;
        }
        double share = 1;
        V3 tint{1, 1, 1};
        bool blocked = false;
        if (light.shadows) {
            const V3 from = f.p + f.facing * (Dot(L, f.facing) >= 0 ? f.eps : -f.eps);
            Occlusion(scene, from, L, distance, hit.object, &share, &tint, &blocked);
        }
        if (detail && k < 4) {
            detail->lightIntensity[k] = light.intensity * share;
            detail->lightColor[k] = light.color * tint;
            if (blocked) detail->shadowFlags |= 1u << k;
        }
        if (share == 0) continue;
        const V3 arriving = light.color * tint * (light.intensity * share);
        const double c = Dot(n, L);
        if (c > 0) {
            diffuseLight += arriving * c;
            local += m.color * arriving * (m.diffuse * std::pow(c, m.sharpnessPower));
            const V3 half = Unit(L + view);
            const double nh = std::max(0.0, Dot(n, half));
            specularLight += arriving * std::pow(nh, m.exponent);
        } else if (c < 0 && m.translucency > 0) {
            local += m.color * arriving * (m.translucency * -c);
        }
    }
    local += m.color * scene.ambient * m.diffuse;
    local += m.color * m.luminosity;

    // Shares: the mirror takes `reflection` of the colour, the glass `transparency` of the
    // rest, the surface keeps what is left. Highlights sit on top of all three, white.
    const double wr = m.reflection;
    const double wt = m.transparency * (1 - m.reflection);
    const double wl = (1 - m.reflection) * (1 - m.transparency);
    Result out;
    out.color = local * wl + specularLight * m.specularity;
    out.alpha = 1;
    const bool all = detail && detail->traceAll;
    if (wr > 0 || all || m.transparency > 0) f.turn = PatternTurn(f.p);
    if (wr > 0 || all) {
        const Result r = Reflected(scene, f, m.reflectionBlur, depth);
        out.color += r.color * wr;
        if (detail) detail->reflectionShade = r.color;
    }
    if (wt > 0 || all) {
        const Result t =
            Refracted(scene, f, m.refractionIndex, m.reflectionBlur, m.refractionBlur, depth);
        out.color += t.color * wt;
        out.alpha = 1 - wt * (1 - t.alpha);
        if (detail) detail->refractionShade = t.color;
    }
    if (detail) {
        detail->normal = f.facing;
        detail->perturbed = f.bumped;
        detail->diffuseLight = diffuseLight;
        detail->specularLight = specularLight;
    }
    return out;
}

Result Trace(const Scene& scene, V3 o, V3 d, int depth) {
    Hit hit;
    if (!Closest(scene, o, d, &hit)) return {scene.background, scene.backgroundAlpha};
    return ShadeHit(scene, o, d, hit, depth, nullptr);
}

// A unit direction from the caller's, or false when it has no length or is not a number.
bool UnitDirection(const double* direction, V3* d) {
    const V3 v = FromArray(direction);
    const double l = Length(v);
    if (!(l > 0) || !std::isfinite(l)) return false;
    *d = v * (1.0 / l);
    return true;
}

[[noreturn]] void Refuse(const std::string& what) {
    throw std::invalid_argument("tracer: " + what);
}

std::string Named(const char* kind, std::size_t index, const std::string& name) {
    return std::string(kind) + " " + std::to_string(index + 1) + " \"" + name + "\"";
}

void RequireFinite(const std::string& who, const char* field, double v) {
    if (!std::isfinite(v)) Refuse(who + ": " + field + " is not a finite number");
}
void RequireFinite(const std::string& who, const char* field, const host::Vec3& v) {
    for (double c : v) RequireFinite(who, field, c);
}

}  // namespace

}  // namespace tracer_detail

using namespace tracer_detail;

Tracer::Tracer(const host::World& world) {
    auto scene = std::make_shared<Scene>();
    for (std::size_t i = 0; i < world.surfaces.size(); ++i) {
        const host::Surface& s = world.surfaces[i];
        const std::string who = Named("surface", i, s.name);
        RequireFinite(who, "colour", s.color);
        RequireFinite(who, "replacement colour", s.replacementColor);
        for (auto [field, v] : {std::pair{"luminosity", s.luminosity},
                                {"diffuse", s.diffuse},
                                {"specularity", s.specularity},
                                {"glossiness", s.glossiness},
                                {"reflection", s.reflection},
                                {"transparency", s.transparency},
                                {"translucency", s.translucency},
                                {"bump height", s.bumpHeight},
                                {"diffuse sharpness", s.diffuseSharpness},
                                {"reflection blur", s.reflectionBlur},
                                {"refraction blur", s.refractionBlur},
                                {"replacement percentage", s.replacementPercentage}})
            RequireFinite(who, field, v);
        if (!(s.refractionIndex > 0) || !std::isfinite(s.refractionIndex))
            Refuse(who + ": refraction index " + std::to_string(s.refractionIndex) +
                   " must be a positive number");
        Material m;
        m.source = s;
        const V3 color = FromVec(s.color);
        m.color = color + (FromVec(s.replacementColor) - color) * s.replacementPercentage;
        m.diffuse = s.diffuse;
        m.luminosity = s.luminosity;
        m.specularity = s.specularity;
        m.exponent = std::exp2(1 + 10 * std::clamp(s.glossiness, 0.0, 1.0));
        m.reflection = std::clamp(s.reflection, 0.0, 1.0);
        m.transparency = std::clamp(s.transparency, 0.0, 1.0);
        m.refractionIndex = s.refractionIndex;
        m.translucency = s.translucency;
        m.bumpHeight = s.bumpHeight;
        // Sharpness 1 raises the cosine to 0.1: nearly a step at the terminator.
        m.sharpnessPower = 1 - 0.9 * std::clamp(s.diffuseSharpness, 0.0, 1.0);
        m.reflectionBlur = std::clamp(s.reflectionBlur, 0.0, 1.0);
        m.refractionBlur = std::clamp(s.refractionBlur, 0.0, 1.0);
        scene->materials.push_back(m);
    }
    for (std::size_t i = 0; i < world.objects.size(); ++i) {
        const host::Object& o = world.objects[i];
        const std::string who = Named("object", i, o.name);
        if (o.surface >= world.surfaces.size())
            Refuse(who + ": surface " + std::to_string(o.surface + 1) +
                   " does not exist (the world has " + std::to_string(world.surfaces.size()) +
                   " surfaces)");
        RequireFinite(who, "position", o.position);
        Shape s;
        s.kind = o.kind;
        s.position = FromVec(o.position);
        s.surface = o.surface;
        switch (o.kind) {
            case host::ShapeKind::Sphere:
                if (!(o.radius > 0) || !std::isfinite(o.radius))
                    Refuse(who + ": sphere radius " + std::to_string(o.radius) +
                           " must be a positive number");
                s.radius2 = o.radius * o.radius;
                break;
            case host::ShapeKind::Plane: {
                RequireFinite(who, "normal", o.normal);
                s.normal = Unit(FromVec(o.normal));
                if (Length(s.normal) == 0) Refuse(who + ": plane normal has no length");
                break;
            }
            case host::ShapeKind::Box:
                RequireFinite(who, "size", o.size);
                for (double c : o.size)
                    if (c < 0) Refuse(who + ": box size " + std::to_string(c) + " is negative");
                s.lo = s.position - FromVec(o.size) * 0.5;
                s.hi = s.position + FromVec(o.size) * 0.5;
                break;
        }
        scene->shapes.push_back(s);
    }
    for (std::size_t i = 0; i < world.lights.size(); ++i) {
        const host::Light& l = world.lights[i];
        const std::string who = Named("light", i, l.name);
        RequireFinite(who, "colour", l.color);
        RequireFinite(who, "intensity", l.intensity);
        LightInfo info;
        info.distant = l.kind == host::LightKind::Distant;
        info.color = FromVec(l.color);
        info.intensity = l.intensity;
        info.shadows = l.shadows;
        if (info.distant) {
            RequireFinite(who, "direction", l.direction);
            const V3 dir = FromVec(l.direction);
            if (Length(dir) == 0) Refuse(who + ": distant light direction has no length");
            info.toLight = -Unit(dir);
        } else {
            // No fall-off with distance: the renderer's customary default for point lights.
            RequireFinite(who, "position", l.position);
            info.position = FromVec(l.position);
        }
        scene->lights.push_back(info);
    }
    RequireFinite("world", "ambient", world.ambient);
    RequireFinite("world", "background", world.settings.background);
    scene->ambient = FromVec(world.ambient);
    scene->background = FromVec(world.settings.background);
    scene->backgroundAlpha = world.settings.backgroundAlpha;
    scene->width = world.settings.width;
    scene->height = world.settings.height;
    scene_ = std::move(scene);
}

namespace tracer_detail {
namespace {

// The shading record of a primary hit, from its shading with `traceAll` set.
void FillRecord(const Scene& scene, V3 o, V3 d, const Hit& hit, const Detail& detail,
                HostShadingRecord* shading) {
    const Shape& shape = scene.shapes[hit.object];
    const Material& m = scene.materials[shape.surface];
    const host::Surface& s = m.source;
    const V3 p = o + d * hit.t;
    HostShadingRecord& r = *shading;
    // Positions: object space is world space moved to the object's position (the centre of a
    // sphere or box, the given point of a plane); objects are neither turned nor scaled.
    Store(p - shape.position, r.objectPosition);
    Store(p, r.worldPosition);
    // Normals: geometric points out of the shape; normal is the same turned towards the ray (no
    // smoothing on these shapes); perturbedNormal is normal after the bump pattern.
    Store(hit.outward, r.geometricNormal);
    Store(detail.normal, r.normal);
    Store(detail.perturbed, r.perturbedNormal);
    // Footprint: grows linearly with distance, about one pixel of a 1000-pixel view.
    r.spotSize = hit.t * kSpotPerDistance;
    Store(o, r.raySource);
    r.rayLength = hit.t;
    // Cosine between the reversed ray and the (unbumped, facing) normal: 1 head-on, 0 grazing.
    r.cosine = Dot(-d, detail.normal);
    // Axis-aligned, unscaled objects: both transforms are the identity.
    for (int i = 0; i < 9; ++i) r.objectToWorld[i] = r.worldToObject[i] = (i % 4 == 0) ? 1 : 0;
    r.objectTag = static_cast<uint32_t>(hit.object + 1);
    r.polygonIndex = hit.face;  // box faces 0 -x, 1 +x, 2 -y, 3 +y, 4 -z, 5 +z; others 0
    // The surface: its colour after replacement, and every attribute as the surface gives it.
    Store(m.color, r.color);
    r.luminosity = s.luminosity;
    r.diffuse = s.diffuse;
    r.specularity = s.specularity;
    r.reflection = s.reflection;
    r.transparency = s.transparency;
    r.rayDepth = 0;  // the ray shade traces a primary ray
    r.surfaceTag = static_cast<uint32_t>(shape.surface + 1);
    r.lightCount = static_cast<uint32_t>(scene.lights.size());
    r.flags = 0;  // no host flags apply to these shapes
    r.materialIndex = static_cast<uint32_t>(shape.surface);
    r.bumpHeight = s.bumpHeight;
    r.translucency = s.translucency;
    // Light arriving as one number: luminance (Rec. 709) of the diffusely received light.
    r.shading = Luminance(detail.diffuseLight);
    r.diffuseSharpness = s.diffuseSharpness;
    // The first four lights, as they arrive at the hit: intensity times what the occluders'
    // transparency lets through, colour times their tint; 1-based tags, 0 for no light.
    for (uint32_t k = 0; k < 4; ++k) {
        const bool present = k < scene.lights.size();
        r.lightTags[k] = present ? k + 1 : 0;
        r.lightIntensity[k] = static_cast<float>(detail.lightIntensity[k]);
        r.lightColor[k][0] = static_cast<float>(detail.lightColor[k].x);
        r.lightColor[k][1] = static_cast<float>(detail.lightColor[k].y);
        r.lightColor[k][2] = static_cast<float>(detail.lightColor[k].z);
    }
    // Bit k: some object stands between the hit and light k (fully or partly blocking it).
    r.shadowFlags = detail.shadowFlags;
    r.replacementPercentage = s.replacementPercentage;
    for (int i = 0; i < 3; ++i) r.replacementColor[i] = s.replacementColor[i];
    r.reflectionBlur = s.reflectionBlur;
    r.refractionBlur = s.refractionBlur;
    r.refractionIndex = s.refractionIndex;
    r.backFacing = hit.inside ? 1 : 0;
    Store(detail.refractionShade, r.refractionShade);
    Store(detail.reflectionShade, r.reflectionShade);
    r.hitSide = hit.inside ? 2 : 1;
}

}  // namespace
}  // namespace tracer_detail

double Tracer::shade(const double start[3], const double direction[3],
                     HostShadingRecord* shading) const {
    const Scene& scene = *scene_;
    V3 d;
    if (!UnitDirection(direction, &d)) return -1.0;
    const V3 o = FromArray(start);
    Hit hit;
    if (!Closest(scene, o, d, &hit)) return -1.0;
    Detail detail;
    // The record offers what the mirror and the glass would show even when the surface has
    // neither, so a network can use them.
    detail.traceAll = true;
    ShadeHit(scene, o, d, hit, 0, &detail);
    FillRecord(scene, o, d, hit, detail, shading);
    return hit.t;
}

SampleValues Tracer::sample(const host::HostCamera& camera, double sx, double sy,
                            double time) const {
    double origin[3], direction[3];
    camera.ray(sx, sy, scene_->width, scene_->height, time, origin, direction);
    return trace(origin, direction, nullptr);
}

SampleValues Tracer::sample(const host::HostCamera& camera, double sx, double sy, double time,
                            PrimaryRay& primary) const {
    camera.ray(sx, sy, scene_->width, scene_->height, time, primary.start, primary.direction);
    std::memset(&primary.shading, 0, sizeof primary.shading);
    primary.distance = -1.0;
    return trace(primary.start, primary.direction, &primary);
}

SampleValues Tracer::trace(const double origin[3], const double direction[3],
                           PrimaryRay* primary) const {
    const Scene& scene = *scene_;
    SampleValues out;
    auto put = [](V3 c, float* dst) {
        dst[0] = static_cast<float>(c.x);
        dst[1] = static_cast<float>(c.y);
        dst[2] = static_cast<float>(c.z);
    };
    V3 d;
    Hit hit;
    const V3 o = FromArray(origin);
    if (!UnitDirection(direction, &d) || !Closest(scene, o, d, &hit)) {
        put(scene.background, out.rgba.data());
        out.rgba[3] = static_cast<float>(scene.backgroundAlpha);
        return out;
    }
    Detail detail;
    detail.traceAll = primary != nullptr;  // the record shows the mirror and the glass anyway
    const Result r = ShadeHit(scene, o, d, hit, 0, &detail);
    if (primary != nullptr) {
        FillRecord(scene, o, d, hit, detail, &primary->shading);
        primary->distance = hit.t;
    }
    put(r.color, out.rgba.data());
    out.rgba[3] = static_cast<float>(r.alpha);
    put(detail.diffuseLight, out.diffuse.data());
    put(detail.specularLight, out.specular.data());
    return out;
}

host::Vec3 Tracer::radiance(const double start[3], const double direction[3], int depth) const {
    const Scene& scene = *scene_;
    V3 d;
    if (depth > kMaxDepth || !UnitDirection(direction, &d)) return ToVec(scene.background);
    return ToVec(Trace(scene, FromArray(start), d, depth).color);
}

}  // namespace pexil::render
