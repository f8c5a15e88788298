#include "render/tracer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pexil::render {
namespace {

using host::Light;
using host::LightKind;
using host::Object;
using host::ShapeKind;
using host::Surface;
using host::Vec3;
using host::World;

constexpr double kTol = 1e-9;

// Worlds are built in a few lines: no ambient light and a black background unless a test says
// otherwise, so expected colours are exact.
World EmptyWorld() {
    World w;
    w.ambient = {0, 0, 0};
    w.settings.width = 2;
    w.settings.height = 2;
    return w;
}

Surface Matte(Vec3 color = {1, 1, 1}) {
    Surface s;
    s.name = "matte";
    s.color = color;
    return s;
}

// A surface that shows only its own colour, whatever the light.
Surface Lamp(Vec3 color) {
    Surface s;
    s.name = "lamp";
    s.color = color;
    s.diffuse = 0;
    s.luminosity = 1;
    return s;
}

Object Sphere(Vec3 centre, double radius, std::size_t surface = 0) {
    Object o;
    o.name = "ball";
    o.kind = ShapeKind::Sphere;
    o.position = centre;
    o.radius = radius;
    o.surface = surface;
    return o;
}

Object Plane(Vec3 point, Vec3 normal, std::size_t surface = 0) {
    Object o;
    o.name = "plane";
    o.kind = ShapeKind::Plane;
    o.position = point;
    o.normal = normal;
    o.surface = surface;
    return o;
}

Object Box(Vec3 centre, Vec3 size, std::size_t surface = 0) {
    Object o;
    o.name = "box";
    o.kind = ShapeKind::Box;
    o.position = centre;
    o.size = size;
    o.surface = surface;
    return o;
}

Light Distant(Vec3 travels, Vec3 color = {1, 1, 1}, double intensity = 1) {
    Light l;
    l.name = "sun";
    l.kind = LightKind::Distant;
    l.direction = travels;
    l.color = color;
    l.intensity = intensity;
    return l;
}

Light Point(Vec3 position, Vec3 color = {1, 1, 1}, double intensity = 1) {
    Light l;
    l.name = "bulb";
    l.kind = LightKind::Point;
    l.position = position;
    l.color = color;
    l.intensity = intensity;
    return l;
}

// A record whose every byte is a marker, to see what shade writes and what it leaves.
HostShadingRecord Marked() {
    HostShadingRecord r;
    std::memset(&r, 0xAB, sizeof r);
    return r;
}

double Shade(const Tracer& t, Vec3 start, Vec3 dir, HostShadingRecord* r) {
    return t.shade(start.data(), dir.data(), r);
}

testing::AssertionResult Close3(const double* actual, Vec3 expected, double tol) {
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(actual[i] - expected[i]) <= tol))
            return testing::AssertionFailure()
                   << "(" << actual[0] << ", " << actual[1] << ", " << actual[2] << ") is not ("
                   << expected[0] << ", " << expected[1] << ", " << expected[2] << ") within "
                   << tol;
    }
    return testing::AssertionSuccess();
}
#define EXPECT_VEC3_NEAR(actual, e0, e1, e2, tol) \
    EXPECT_TRUE(Close3((actual), Vec3{(e0), (e1), (e2)}, (tol)))

// ---------------------------------------------------------------------------------------------
// Geometry: where a ray meets each shape, from outside and from inside.

struct GeometryCase {
    const char* name;
    Object object;
    Vec3 start, dir;
    double distance;
    Vec3 outward;   // the geometric normal
    uint32_t face;  // polygonIndex
    bool inside;
};

class ShapeHit : public testing::TestWithParam<GeometryCase> {};

TEST_P(ShapeHit, DistanceNormalsFaceAndSide) {
    const GeometryCase& c = GetParam();
    World w = EmptyWorld();
    w.surfaces = {Matte()};
    w.objects = {c.object};
    const Tracer tracer(w);
    HostShadingRecord r = Marked();
    ASSERT_NEAR(Shade(tracer, c.start, c.dir, &r), c.distance, kTol);

    const Vec3 hit = {c.start[0] + c.dir[0] * c.distance, c.start[1] + c.dir[1] * c.distance,
                      c.start[2] + c.dir[2] * c.distance};
    EXPECT_VEC3_NEAR(r.worldPosition, hit[0], hit[1], hit[2], kTol);
    EXPECT_VEC3_NEAR(r.objectPosition, hit[0] - c.object.position[0], hit[1] - c.object.position[1],
                     hit[2] - c.object.position[2], kTol);
    EXPECT_VEC3_NEAR(r.geometricNormal, c.outward[0], c.outward[1], c.outward[2], kTol);
    const double s = c.inside ? -1 : 1;  // the shading normal faces the ray
    EXPECT_VEC3_NEAR(r.normal, s * c.outward[0], s * c.outward[1], s * c.outward[2], kTol);
    EXPECT_VEC3_NEAR(r.perturbedNormal, r.normal[0], r.normal[1], r.normal[2], 0);
    EXPECT_EQ(r.polygonIndex, c.face);
    EXPECT_EQ(r.hitSide, c.inside ? 2u : 1u);
    EXPECT_EQ(r.backFacing, c.inside ? 1u : 0u);
    EXPECT_NEAR(r.rayLength, c.distance, kTol);
    EXPECT_VEC3_NEAR(r.raySource, c.start[0], c.start[1], c.start[2], 0);
    EXPECT_NEAR(r.cosine,
                -(c.dir[0] * r.normal[0] + c.dir[1] * r.normal[1] + c.dir[2] * r.normal[2]), kTol);
    EXPECT_GT(r.cosine, 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, ShapeHit,
    testing::Values(
        GeometryCase{"SphereHeadOn", Sphere({0, 0, 5}, 1), {0, 0, 0}, {0, 0, 1}, 4, {0, 0, -1}, 0,
                     false},
        GeometryCase{"SphereOffCentre", Sphere({0, 0, 5}, 1), {0.6, 0, 0}, {0, 0, 1}, 4.2,
                     {0.6, 0, -0.8}, 0, false},
        GeometryCase{"SphereFromInside", Sphere({0, 0, 5}, 1), {0, 0, 5}, {0, 0, 1}, 1,
                     {0, 0, 1}, 0, true},
        GeometryCase{"PlaneFromFront", Plane({0, -1, 0}, {0, 2, 0}), {0, 0, 0}, {0, -1, 0}, 1,
                     {0, 1, 0}, 0, false},
        GeometryCase{"PlaneSlanted", Plane({0, -1, 0}, {0, 1, 0}), {0, 0, 0},
                     {0.6, -0.8, 0}, 1.25, {0, 1, 0}, 0, false},
        GeometryCase{"PlaneFromBehind", Plane({0, -1, 0}, {0, 1, 0}), {0, -3, 0}, {0, 1, 0}, 2,
                     {0, 1, 0}, 0, true},
        GeometryCase{"BoxMinusX", Box({0, 0, 0}, {2, 4, 6}), {-5, 0, 0}, {1, 0, 0}, 4,
                     {-1, 0, 0}, 0, false},
        GeometryCase{"BoxPlusX", Box({0, 0, 0}, {2, 4, 6}), {5, 0, 0}, {-1, 0, 0}, 4, {1, 0, 0},
                     1, false},
        GeometryCase{"BoxMinusY", Box({0, 0, 0}, {2, 4, 6}), {0, -5, 0}, {0, 1, 0}, 3,
                     {0, -1, 0}, 2, false},
        GeometryCase{"BoxPlusY", Box({0, 0, 0}, {2, 4, 6}), {0, 5, 0}, {0, -1, 0}, 3, {0, 1, 0},
                     3, false},
        GeometryCase{"BoxMinusZ", Box({0, 0, 0}, {2, 4, 6}), {0, 0, -5}, {0, 0, 1}, 2,
                     {0, 0, -1}, 4, false},
        GeometryCase{"BoxPlusZ", Box({0, 0, 0}, {2, 4, 6}), {0, 0, 5}, {0, 0, -1}, 2, {0, 0, 1},
                     5, false},
        GeometryCase{"BoxOffCentreSlanted", Box({1, 1, 1}, {2, 2, 2}), {-2, 1.5, 0.2},
                     {0.8, 0, 0.6}, 2.5, {-1, 0, 0}, 0, false},
        GeometryCase{"BoxFromInside", Box({0, 0, 0}, {2, 4, 6}), {0, 0, 0}, {0, 0, -1}, 3,
                     {0, 0, -1}, 4, true}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });
// clang-format on

TEST(Tracer, NearestObjectWinsAndTagsAreItsOwn) {
    World w = EmptyWorld();
    Surface red = Matte({1, 0, 0});
    red.replacementColor = {0, 0, 1};
    red.replacementPercentage = 0.25;
    w.surfaces = {Matte(), red};
    w.objects = {Sphere({0, 0, 20}, 1, 0), Box({0, 0, 10}, {1, 1, 1}, 1),
                 Plane({0, 0, 30}, {0, 0, -1}, 0)};
    w.lights = {Distant({0, 0, 1}), Distant({0, -1, 0})};
    const Tracer tracer(w);
    HostShadingRecord r = Marked();
    ASSERT_NEAR(Shade(tracer, {0, 0, 0}, {0, 0, 1}, &r), 9.5, kTol);
    EXPECT_EQ(r.objectTag, 2u);
    EXPECT_EQ(r.surfaceTag, 2u);
    EXPECT_EQ(r.materialIndex, 1u);
    EXPECT_EQ(r.polygonIndex, 4u);
    EXPECT_EQ(r.lightCount, 2u);
    EXPECT_EQ(r.lightTags[0], 1u);
    EXPECT_EQ(r.lightTags[1], 2u);
    EXPECT_EQ(r.lightTags[2], 0u);
    EXPECT_EQ(r.lightTags[3], 0u);
    EXPECT_EQ(r.rayDepth, 0u);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_NEAR(r.spotSize, 9.5 * 0.001, kTol);
    // The colour after a quarter of it went to the replacement; the attributes as given.
    EXPECT_VEC3_NEAR(r.color, 0.75, 0, 0.25, kTol);
    EXPECT_VEC3_NEAR(r.replacementColor, 0, 0, 1, 0);
    EXPECT_EQ(r.replacementPercentage, 0.25);
    EXPECT_EQ(r.refractionIndex, 1.0);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(r.objectToWorld[i], i % 4 == 0 ? 1.0 : 0.0) << i;
        EXPECT_EQ(r.worldToObject[i], i % 4 == 0 ? 1.0 : 0.0) << i;
    }
    // The frame loop's members are not the tracer's: they keep what they held.
    for (uint32_t v : {r.pixelX, r.pixelY, r.sampleIndex, r.threadIndex}) EXPECT_EQ(v, 0xABABABABu);
}

struct MissCase {
    const char* name;
    Object object;
    Vec3 start, dir;
};

class ShapeMiss : public testing::TestWithParam<MissCase> {};

TEST_P(ShapeMiss, ReturnsMinusOneAndLeavesTheRecord) {
    const MissCase& c = GetParam();
    World w = EmptyWorld();
    w.surfaces = {Matte()};
    w.objects = {c.object};
    w.lights = {Distant({0, -1, 0})};
    const Tracer tracer(w);
    HostShadingRecord r = Marked();
    const HostShadingRecord before = r;
    EXPECT_EQ(Shade(tracer, c.start, c.dir, &r), -1.0);
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, ShapeMiss,
    testing::Values(
        MissCase{"SphereBehindTheRay", Sphere({0, 0, -5}, 1), {0, 0, 0}, {0, 0, 1}},
        MissCase{"SphereBeside", Sphere({0, 0, 5}, 1), {1.01, 0, 0}, {0, 0, 1}},
        MissCase{"PlaneParallel", Plane({0, -1, 0}, {0, 1, 0}), {0, 0, 0}, {1, 0, 0}},
        MissCase{"PlaneBehind", Plane({0, -1, 0}, {0, 1, 0}), {0, 0, 0}, {0, 1, 0}},
        MissCase{"BoxBeside", Box({0, 0, 5}, {1, 1, 1}), {0.6, 0, 0}, {0, 0, 1}},
        MissCase{"BoxParallelOutsideSlab", Box({0, 0, 0}, {1, 1, 1}), {-5, 0.6, 0}, {1, 0, 0}},
        MissCase{"BoxPassingACorner", Box({0, 0, 0}, {2, 2, 2}), {-3, 0, 0},
                 {0.6, 0.8, 0}},
        MissCase{"ZeroDirection", Sphere({0, 0, 5}, 1), {0, 0, 0}, {0, 0, 0}}),
    [](const testing::TestParamInfo<MissCase>& info) { return info.param.name; });
// clang-format on

// ---------------------------------------------------------------------------------------------
// Light and surface response, seen by a camera looking head-on at a plane (the centre sample of
// a 2x2 frame is the camera's forward ray).

struct ResponseCase {
    const char* name;
    Surface surface;
    std::vector<Light> lights;
    Vec3 ambient;
    std::array<float, 3> rgb, diffuse, specular;
};

class SurfaceResponse : public testing::TestWithParam<ResponseCase> {};

TEST_P(SurfaceResponse, SampleColourAndLightBuffers) {
    const ResponseCase& c = GetParam();
    World w = EmptyWorld();
    w.ambient = c.ambient;
    w.surfaces = {c.surface};
    w.objects = {Plane({0, 0, 5}, {0, 0, -1})};
    w.lights = c.lights;
    const Tracer tracer(w);
    host::HostCamera camera;  // at the origin looking along +z
    const SampleValues v = tracer.sample(camera, 0.5, 0.5, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(v.rgba[i], c.rgb[i], 1e-6) << "rgb " << i;
        EXPECT_NEAR(v.diffuse[i], c.diffuse[i], 1e-6) << "diffuse " << i;
        EXPECT_NEAR(v.specular[i], c.specular[i], 1e-6) << "specular " << i;
    }
    EXPECT_EQ(v.rgba[3], 1.0f);

    // The record's `shading` is the luminance of what the diffuse buffer holds.
    HostShadingRecord r{};
    ASSERT_GT(Shade(tracer, {0, 0, 0}, {0, 0, 1}, &r), 0);
    EXPECT_NEAR(r.shading, 0.2126 * c.diffuse[0] + 0.7152 * c.diffuse[1] + 0.0722 * c.diffuse[2],
                1e-6);
}

Surface With(Surface s, double Surface::*field, double value) {
    s.*field = value;
    return s;
}

const double kCos60 = 0.5, kSin60 = std::sqrt(3.0) / 2;
// Light 60 degrees off the normal, the viewer on the normal: the half vector is 30 degrees off,
// and the default glossiness 0.4 gives the exponent 2^5.
// Sharpness 1 raises the cosine to 0.1.
const float kSharp = static_cast<float>(std::pow(0.5, 0.1));
const float kHighlight60 = static_cast<float>(std::pow(kSin60, 32.0));

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, SurfaceResponse,
    testing::Values(
        ResponseCase{"WhiteHeadOn", Matte(), {Distant({0, 0, 1})}, {0, 0, 0}, {1, 1, 1},
                     {1, 1, 1}, {1, 1, 1}},
        ResponseCase{"ColouredBrightLight", Matte({0.5, 1, 1}),
                     {Distant({0, 0, 1}, {1, 0.5, 0.25}, 2)}, {0, 0, 0}, {1, 1, 0.5}, {2, 1, 0.5},
                     {2, 1, 0.5}},
        ResponseCase{"DiffuseShare", With(Matte(), &Surface::diffuse, 0.5), {Distant({0, 0, 1})},
                     {0, 0, 0}, {0.5, 0.5, 0.5}, {1, 1, 1}, {1, 1, 1}},
        // 60 degrees off the normal: half the light, and a weaker highlight.
        ResponseCase{"Oblique", Matte(), {Distant({kSin60, 0, kCos60})}, {0, 0, 0},
                     {0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}, {kHighlight60, kHighlight60, kHighlight60}},
        ResponseCase{"SharpTerminator", With(Matte(), &Surface::diffuseSharpness, 1),
                     {Distant({kSin60, 0, kCos60})}, {0, 0, 0},
                     {kSharp, kSharp, kSharp}, {0.5, 0.5, 0.5},
                     {kHighlight60, kHighlight60, kHighlight60}},
        ResponseCase{"Highlight", With(Matte({0, 0, 0}), &Surface::specularity, 0.5),
                     {Distant({0, 0, 1}, {1, 1, 0})}, {0, 0, 0}, {0.5, 0.5, 0}, {1, 1, 0},
                     {1, 1, 0}},
        ResponseCase{"LightFromBehind", Matte(), {Distant({0, 0, -1})}, {0, 0, 0}, {0, 0, 0},
                     {0, 0, 0}, {0, 0, 0}},
        ResponseCase{"Translucent", With(Matte({1, 0.5, 0}), &Surface::translucency, 0.5),
                     {Distant({0, 0, -1})}, {0, 0, 0}, {0.5, 0.25, 0}, {0, 0, 0}, {0, 0, 0}},
        ResponseCase{"LuminousInTheDark", With(Matte({0.2, 0.4, 0.6}), &Surface::luminosity, 1),
                     {}, {0, 0, 0}, {0.2, 0.4, 0.6}, {0, 0, 0}, {0, 0, 0}},
        ResponseCase{"Ambient", Matte({0.5, 1, 1}), {}, {0.1, 0.2, 0.3}, {0.05, 0.2, 0.3},
                     {0, 0, 0}, {0, 0, 0}},
        ResponseCase{"ReplacementFirst", With(Matte({1, 0, 0}), &Surface::replacementPercentage, 1),
                     {Distant({0, 0, 1})}, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}},
        // No fall-off: the same light near and far.
        ResponseCase{"PointLightNear", Matte(), {Point({0, 0, 4})}, {0, 0, 0}, {1, 1, 1},
                     {1, 1, 1}, {1, 1, 1}},
        ResponseCase{"PointLightFar", Matte(), {Point({0, 0, -1000})}, {0, 0, 0}, {1, 1, 1},
                     {1, 1, 1}, {1, 1, 1}},
        ResponseCase{"PointLightBehind", Matte(), {Point({0, 0, 6})}, {0, 0, 0}, {0, 0, 0},
                     {0, 0, 0}, {0, 0, 0}},
        ResponseCase{"TwoLightsAdd", Matte(), {Distant({0, 0, 1}), Point({0, 0, -100}, {0, 1, 0})},
                     {0, 0, 0}, {1, 2, 1}, {1, 2, 1}, {1, 2, 1}}),
    [](const testing::TestParamInfo<ResponseCase>& info) { return info.param.name; });
// clang-format on

// ---------------------------------------------------------------------------------------------
// Shadows: a floor under a ball, the sun straight above, a second light from the side.

struct ShadowCase {
    const char* name;
    double transparency;  // of the ball
    bool shadows;         // of the sun
    float sunIntensity;   // arriving at the floor
    bool flagged;
};

class Shadow : public testing::TestWithParam<ShadowCase> {};

TEST_P(Shadow, OccluderDimsAndTintsTheLight) {
    const ShadowCase& c = GetParam();
    World w = EmptyWorld();
    Surface ball = Matte({1, 0.5, 0});
    ball.transparency = c.transparency;
    w.surfaces = {Matte(), ball};
    w.objects = {Plane({0, 0, 0}, {0, 1, 0}, 0), Sphere({0, 3, 0}, 1, 1)};
    w.lights = {Distant({0, -1, 0}, {1, 1, 1}, 2), Distant({-1, 0, 0})};
    w.lights[0].shadows = c.shadows;
    const Tracer tracer(w);
    HostShadingRecord r{};
    // Look straight down at the floor point under the ball's centre, from below the ball.
    ASSERT_NEAR(Shade(tracer, {0.0, 0.5, 0.0}, {0, -1, 0}, &r), 0.5, kTol);
    EXPECT_EQ(r.objectTag, 1u);
    EXPECT_FLOAT_EQ(r.lightIntensity[0], c.sunIntensity);
    EXPECT_EQ((r.shadowFlags & 1) != 0, c.flagged);
    if (c.flagged) {
        EXPECT_FLOAT_EQ(r.lightColor[0][0], 1);
        EXPECT_FLOAT_EQ(r.lightColor[0][1], 0.5);
        EXPECT_FLOAT_EQ(r.lightColor[0][2], 0);
    }
    // The side light grazes the floor: not blocked, not flagged, still reported.
    EXPECT_EQ(r.shadowFlags & 2, 0u);
    EXPECT_FLOAT_EQ(r.lightIntensity[1], 1);
    // Diffusely received: the sun's arriving light head-on.
    const double expected =
        c.flagged ? c.sunIntensity * 0.2126 + c.sunIntensity * 0.5 * 0.7152 : c.sunIntensity;
    EXPECT_NEAR(r.shading, expected, 1e-6);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, Shadow,
    testing::Values(ShadowCase{"Opaque", 0, true, 0, true},
                    ShadowCase{"HalfTransparent", 0.5, true, 1, true},
                    ShadowCase{"Clear", 1, true, 2, true},
                    ShadowCase{"ShadowsOff", 0, false, 2, false}),
    [](const testing::TestParamInfo<ShadowCase>& info) { return info.param.name; });
// clang-format on

TEST(Tracer, ShadowStopsAtAPointLight) {
    // A ball beyond the bulb casts no shadow on the floor.
    World w = EmptyWorld();
    w.surfaces = {Matte()};
    w.objects = {Plane({0, 0, 0}, {0, 1, 0}), Sphere({0, 5, 0}, 1)};
    w.lights = {Point({0, 2, 0})};
    const Tracer tracer(w);
    HostShadingRecord r{};
    ASSERT_GT(Shade(tracer, {0, 1, 0}, {0, -1, 0}, &r), 0);
    EXPECT_EQ(r.shadowFlags, 0u);
    EXPECT_NEAR(r.shading, 1, 1e-9);
}

// Every lit point of every shape, seen from many directions, near the origin and far from it
// (where positions carry larger rounding errors): a surface never shadows or reflects itself.
TEST(Tracer, NoSelfShadowOrSelfReflection) {
    for (const Vec3 at : {Vec3{0, 0, 0}, Vec3{2e5, -1e5, 3e5}}) {
        auto moved = [&at](Vec3 v) { return Vec3{v[0] + at[0], v[1] + at[1], v[2] + at[2]}; };
        for (const Object& shape : {Sphere(moved({0, 0, 0}), 1), Box(moved({0, 0, 0}), {1.5, 1, 2}),
                                    Plane(moved({0, -1, 0}), {0.1, 1, 0.2})}) {
            World w = EmptyWorld();
            Surface mirror = Matte();
            mirror.reflection = 0.5;
            w.surfaces = {mirror};
            w.settings.background = {0.25, 0.5, 0.75};
            w.objects = {shape};
            const Vec3 toLight = {0.3, 0.8, -0.52};
            w.lights = {Distant({-toLight[0], -toLight[1], -toLight[2]})};
            const Tracer tracer(w);
            const std::string where = shape.name + " at " + std::to_string(at[0]);
            int lit = 0;
            for (int i = 0; i < 40; ++i) {
                for (int j = 0; j < 40; ++j) {
                    const Vec3 dir = {(i - 19.5) / 40.0, (j - 19.5) / 40.0, 1};
                    const double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + 1);
                    const Vec3 unit = {dir[0] / len, dir[1] / len, dir[2] / len};
                    HostShadingRecord r{};
                    if (Shade(tracer, moved({0.37, 0.21, -6}), unit, &r) < 0) continue;
                    // The reflected ray leaves a convex shape for the open sky.
                    ASSERT_TRUE(Close3(r.reflectionShade, {0.25, 0.5, 0.75}, 0))
                        << where << " " << i << "," << j;
                    const double c = r.normal[0] * toLight[0] + r.normal[1] * toLight[1] +
                                     r.normal[2] * toLight[2];
                    if (c <= 1e-3) continue;
                    ++lit;
                    ASSERT_EQ(r.shadowFlags, 0u) << where << " " << i << "," << j;
                    ASSERT_GT(r.shading, 0) << where << " " << i << "," << j;
                }
            }
            EXPECT_GT(lit, 50) << where;
        }
    }
}

// A translucent ball lit from behind glows on the side facing away from the light: the light
// reaches that side through the ball's own body, which does not shadow it.
TEST(Tracer, TranslucentBallLitFromBehind) {
    World w = EmptyWorld();
    Surface wax = Matte({1, 1, 1});
    wax.translucency = 1;
    w.surfaces = {wax};
    w.objects = {Sphere({0, 0, 5}, 1)};
    w.lights = {Distant({0, 0, -1})};  // travelling towards the camera
    const Tracer tracer(w);
    const SampleValues v = tracer.sample(host::HostCamera{}, 0.5, 0.5, 0);
    EXPECT_FLOAT_EQ(v.rgba[0], 1);
    EXPECT_FLOAT_EQ(v.diffuse[0], 0);
}

// ---------------------------------------------------------------------------------------------
// Mirrors and glass.

TEST(Tracer, MirrorSeesTheObjectItFaces) {
    World w = EmptyWorld();
    Surface mirror = Matte({0, 0, 1});
    mirror.reflection = 1;
    w.surfaces = {mirror, Lamp({1, 0, 0})};
    // Mirror ahead of the camera, a red lamp behind it (the camera ray starts beside the lamp).
    w.objects = {Plane({0, 0, 5}, {0, 0, -1}, 0), Sphere({0, 0, -5}, 1, 1)};
    const Tracer tracer(w);
    HostShadingRecord r{};
    ASSERT_NEAR(Shade(tracer, {0, 0, 0}, {0, 0, 1}, &r), 5, kTol);
    EXPECT_VEC3_NEAR(r.reflectionShade, 1, 0, 0, 0);
    const SampleValues v = tracer.sample(host::HostCamera{}, 0.5, 0.5, 0);
    EXPECT_FLOAT_EQ(v.rgba[0], 1);
    EXPECT_FLOAT_EQ(v.rgba[1], 0);
    EXPECT_FLOAT_EQ(v.rgba[2], 0);

    // A surface that is no mirror still reports what a mirror would see; it renders its own
    // colour.
    w.surfaces[0] = Lamp({0, 0, 1});
    const Tracer plain(w);
    ASSERT_GT(Shade(plain, {0, 0, 0}, {0, 0, 1}, &r), 0);
    EXPECT_VEC3_NEAR(r.reflectionShade, 1, 0, 0, 0);
    const SampleValues p = plain.sample(host::HostCamera{}, 0.5, 0.5, 0);
    EXPECT_FLOAT_EQ(p.rgba[0], 0);
    EXPECT_FLOAT_EQ(p.rgba[2], 1);
}

TEST(Tracer, BlurredMirrorOfAnEvenSkyIsTheSky) {
    // Whatever the spread, the blurred directions are averaged with weights summing to one.
    World w = EmptyWorld();
    w.settings.background = {0.2, 0.4, 0.8};
    Surface mirror = Matte();
    mirror.reflection = 1;
    mirror.reflectionBlur = 0.7;
    w.surfaces = {mirror};
    w.objects = {Plane({0, -1, 0}, {0, 1, 0})};
    const Tracer tracer(w);
    HostShadingRecord r{};
    ASSERT_GT(Shade(tracer, {0, 0, 0}, {0, -0.6, 0.8}, &r), 0);
    EXPECT_VEC3_NEAR(r.reflectionShade, 0.2, 0.4, 0.8, 1e-12);
}

TEST(Tracer, GlassBallShowsWhatIsBehindIt) {
    World w = EmptyWorld();
    Surface glass = Matte();
    glass.transparency = 1;
    glass.refractionIndex = 1.5;
    w.surfaces = {glass, Lamp({0, 1, 0})};
    w.objects = {Sphere({0, 0, 5}, 1, 0), Plane({0, 0, 10}, {0, 0, -1}, 1)};
    const Tracer tracer(w);
    HostShadingRecord r{};
    ASSERT_NEAR(Shade(tracer, {0, 0, 0}, {0, 0, 1}, &r), 4, kTol);
    EXPECT_VEC3_NEAR(r.refractionShade, 0, 1, 0, 1e-12);
    const SampleValues v = tracer.sample(host::HostCamera{}, 0.5, 0.5, 0);
    EXPECT_FLOAT_EQ(v.rgba[1], 1);
    EXPECT_FLOAT_EQ(v.rgba[3], 1);
}

TEST(Tracer, GlassBallBendsRaysTowardsItsFocus) {
    // A ball of index 1.5 and radius 1 brings a ray 0.3 off the axis across it about 1.46 behind
    // the centre, where a small lamp sits on the axis. Without bending the ray passes it.
    for (const double index : {1.5, 1.0}) {
        World w = EmptyWorld();
        w.settings.background = {0, 0, 1};
        Surface glass = Matte();
        glass.transparency = 1;
        glass.refractionIndex = index;
        w.surfaces = {glass, Lamp({1, 0, 0})};
        w.objects = {Sphere({0, 0, 5}, 1, 0), Sphere({0, 0, 6.46}, 0.1, 1)};
        const Tracer tracer(w);
        HostShadingRecord r{};
        ASSERT_GT(Shade(tracer, {0.3, 0, 0}, {0, 0, 1}, &r), 0);
        if (index == 1.5) {
            EXPECT_VEC3_NEAR(r.refractionShade, 1, 0, 0, 1e-12) << "index " << index;
        } else {
            EXPECT_VEC3_NEAR(r.refractionShade, 0, 0, 1, 1e-12) << "index " << index;
        }
    }
}

TEST(Tracer, TotalInternalReflectionKeepsTheRayInside) {
    // Inside a glass cube, a ray meeting the top 50 degrees off its normal (past the critical
    // angle of 41.8 degrees for index 1.5) cannot leave there: it comes back down and leaves
    // through the right face, 40 degrees off that one, for the lamp on the right.
    World w = EmptyWorld();
    w.settings.background = {0, 0, 1};
    Surface glass = Matte();
    glass.transparency = 1;
    glass.refractionIndex = 1.5;
    w.surfaces = {glass, Lamp({1, 0, 0})};
    w.objects = {Box({0, 0, 0}, {2, 2, 2}, 0), Plane({5, 0, 0}, {-1, 0, 0}, 1)};
    const Tracer tracer(w);
    HostShadingRecord r{};
    const double a = 50 * std::numbers::pi / 180;
    ASSERT_NEAR(Shade(tracer, {-0.9, 0, 0}, {std::sin(a), std::cos(a), 0}, &r), 1 / std::cos(a),
                kTol);
    EXPECT_EQ(r.polygonIndex, 3u);
    EXPECT_EQ(r.hitSide, 2u);
    EXPECT_VEC3_NEAR(r.refractionShade, 1, 0, 0, 1e-12);
    // Head-on it leaves for the sky.
    ASSERT_GT(Shade(tracer, {-0.9, 0, 0}, {0, 1, 0}, &r), 0);
    EXPECT_VEC3_NEAR(r.refractionShade, 0, 0, 1, 1e-12);
}

struct AlphaCase {
    const char* name;
    double transparency, reflection;
    bool backdrop;  // an opaque wall behind the pane
    float alpha;
};

class Alpha : public testing::TestWithParam<AlphaCase> {};

TEST_P(Alpha, OfASample) {
    const AlphaCase& c = GetParam();
    World w = EmptyWorld();
    w.settings.backgroundAlpha = 0.25;
    Surface pane = Matte();
    pane.transparency = c.transparency;
    pane.reflection = c.reflection;
    w.surfaces = {pane, Matte()};
    w.objects = {Plane({0, 0, 5}, {0, 0, -1}, 0)};
    if (c.backdrop) w.objects.push_back(Plane({0, 0, 10}, {0, 0, -1}, 1));
    const Tracer tracer(w);
    EXPECT_FLOAT_EQ(tracer.sample(host::HostCamera{}, 0.5, 0.5, 0).rgba[3], c.alpha);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, Alpha,
    testing::Values(AlphaCase{"Opaque", 0, 0, false, 1},
                    AlphaCase{"ClearOverBackground", 1, 0, false, 0.25},
                    AlphaCase{"HalfClearOverBackground", 0.5, 0, false, 0.625},
                    AlphaCase{"ClearOverWall", 1, 0, true, 1},
                    AlphaCase{"MirrorTakesItsShareFirst", 1, 0.5, false, 0.625},
                    AlphaCase{"MirrorOnly", 0, 1, false, 1}),
    [](const testing::TestParamInfo<AlphaCase>& info) { return info.param.name; });
// clang-format on

TEST(Tracer, MissesSeeTheBackground) {
    World w = EmptyWorld();
    w.settings.background = {0.1, 0.2, 0.3};
    w.settings.backgroundAlpha = 0.5;
    w.surfaces = {Matte()};
    w.objects = {Sphere({0, 0, -5}, 1)};
    w.lights = {Distant({0, 0, 1})};
    const Tracer tracer(w);
    const SampleValues v = tracer.sample(host::HostCamera{}, 0.5, 0.5, 0);
    EXPECT_EQ(v.rgba, (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0.5f}));
    EXPECT_EQ(v.diffuse, (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(v.specular, (std::array<float, 3>{0, 0, 0}));
    const double o[3] = {0, 0, 0}, d[3] = {0, 0, 1};
    EXPECT_EQ(tracer.radiance(o, d, 0), (Vec3{0.1, 0.2, 0.3}));
}

TEST(Tracer, FacingMirrorsEndAtTheDepthLimit) {
    // Two perfect mirrors facing each other: every bounce sees another mirror until the depth
    // limit, where the background stands in for the rest.
    World w = EmptyWorld();
    w.settings.background = {0.1, 0.2, 0.3};
    Surface mirror = Matte();
    mirror.reflection = 1;
    w.surfaces = {mirror};
    w.objects = {Plane({0, 0, 5}, {0, 0, -1}), Plane({0, 0, -5}, {0, 0, 1})};
    const Tracer tracer(w);
    const double o[3] = {0, 0, 0}, d[3] = {0, 0.01, 0.99995};
    for (int depth : {0, 6, 7}) {
        const Vec3 c = tracer.radiance(o, d, depth);
        EXPECT_NEAR(c[0], 0.1, 1e-12) << depth;
        EXPECT_NEAR(c[1], 0.2, 1e-12) << depth;
        EXPECT_NEAR(c[2], 0.3, 1e-12) << depth;
    }
}

TEST(Tracer, BumpTiltsTheShadingNormalOnly) {
    World w = EmptyWorld();
    Surface bumpy = Matte();
    bumpy.bumpHeight = 0.05;
    w.surfaces = {bumpy};
    w.objects = {Sphere({0, 0, 5}, 1)};
    w.lights = {Distant({0, 0, 1})};
    const Tracer tracer(w);
    HostShadingRecord r{};
    ASSERT_NEAR(Shade(tracer, {0.3, 0.2, 0}, {0, 0, 1}, &r), 5 - std::sqrt(1 - 0.13), kTol);
    const double* n = r.normal;
    const double* p = r.perturbedNormal;
    EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1, 1e-12);
    const double tilt = n[0] * p[0] + n[1] * p[1] + n[2] * p[2];
    EXPECT_LT(tilt, 1 - 1e-6) << "the bump must tilt the normal";
    EXPECT_GT(tilt, 0.5) << "a small bump tilts it a little";
    EXPECT_VEC3_NEAR(r.geometricNormal, n[0], n[1], n[2], 0);
    // The light falls on the tilted normal.
    EXPECT_NEAR(r.shading, -p[2], 1e-9);
}

// ---------------------------------------------------------------------------------------------
// Reproducible and thread-safe.

World BusyWorld() {
    World w;
    w.settings.width = 64;
    w.settings.height = 48;
    w.settings.background = {0.1, 0.1, 0.2};
    Surface glass = Matte({0.9, 1, 0.9});
    glass.transparency = 0.8;
    glass.refractionIndex = 1.4;
    glass.refractionBlur = 0.3;
    glass.specularity = 0.6;
    Surface brushed = Matte({0.8, 0.6, 0.2});
    brushed.reflection = 0.6;
    brushed.reflectionBlur = 0.4;
    brushed.bumpHeight = 0.02;
    Surface floor = Matte({0.5, 0.5, 0.5});
    floor.translucency = 0.3;
    w.surfaces = {glass, brushed, floor};
    w.objects = {Sphere({-1, 0, 6}, 1, 0), Box({1.2, -0.2, 7}, {1.5, 1.6, 1.5}, 1),
                 Plane({0, -1, 0}, {0, 1, 0}, 2)};
    w.lights = {Distant({-0.3, -1, 0.5}), Point({2, 4, 2}, {1, 0.9, 0.8}, 0.7)};
    return w;
}

std::vector<HostShadingRecord> ShadeGrid(const Tracer& tracer) {
    std::vector<HostShadingRecord> out;
    for (int i = 0; i < 12; ++i) {
        for (int j = 0; j < 9; ++j) {
            const double d[3] = {(i - 5.5) / 8, (j - 4) / 8.0, 1};
            const double o[3] = {0, 0.5, 0};
            HostShadingRecord r{};
            tracer.shade(o, d, &r);
            out.push_back(r);
        }
    }
    return out;
}

TEST(Tracer, SameRayGivesTheSameBytes) {
    const World w = BusyWorld();
    const std::vector<HostShadingRecord> a = ShadeGrid(Tracer(w));
    const std::vector<HostShadingRecord> b = ShadeGrid(Tracer(w));
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(HostShadingRecord)), 0);
    const Tracer t(w);
    const SampleValues s1 = t.sample(host::HostCamera{}, 20.25, 30.75, 0);
    const SampleValues s2 = t.sample(host::HostCamera{}, 20.25, 30.75, 0);
    EXPECT_EQ(std::memcmp(&s1, &s2, sizeof s1), 0);
}

TEST(Tracer, ASampleWithItsPrimaryRayMatchesSampleAndShade) {
    // One trace gives the sample and the record: both must be what the two
    // separate calls give, byte for byte, on hits and misses alike.
    const Tracer t(BusyWorld());
    const host::HostCamera camera;
    for (double sx = 0; sx < 64; sx += 7.5) {
        for (double sy = 0; sy < 48; sy += 6.25) {
            SCOPED_TRACE(std::to_string(sx) + "," + std::to_string(sy));
            Tracer::PrimaryRay primary;
            const SampleValues both = t.sample(camera, sx, sy, 0, primary);
            const SampleValues alone = t.sample(camera, sx, sy, 0);
            EXPECT_EQ(std::memcmp(&both, &alone, sizeof both), 0);
            HostShadingRecord record{};
            EXPECT_EQ(t.shade(primary.start, primary.direction, &record), primary.distance);
            EXPECT_EQ(std::memcmp(&record, &primary.shading, sizeof record), 0);
        }
    }
}

TEST(Tracer, ThreadsShadingTheSameRaysAgree) {
    const Tracer tracer(BusyWorld());
    const std::vector<HostShadingRecord> expected = ShadeGrid(tracer);
    std::vector<std::vector<HostShadingRecord>> got(4);
    std::vector<std::thread> threads;
    for (auto& g : got)
        threads.emplace_back([&tracer, &g] {
            for (int round = 0; round < 5; ++round) g = ShadeGrid(tracer);
        });
    for (auto& t : threads) t.join();
    for (const auto& g : got) {
        ASSERT_EQ(g.size(), expected.size());
        EXPECT_EQ(std::memcmp(g.data(), expected.data(), g.size() * sizeof(HostShadingRecord)), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Worlds the tracer cannot trace are refused, naming what is wrong.

struct BadWorldCase {
    const char* name;
    void (*spoil)(World&);
    const char* message;
};

class BadWorld : public testing::TestWithParam<BadWorldCase> {};

TEST_P(BadWorld, IsRefusedByName) {
    World w = EmptyWorld();
    w.surfaces = {Matte()};
    w.objects = {Sphere({0, 0, 5}, 1), Plane({0, -1, 0}, {0, 1, 0}), Box({0, 0, 0}, {1, 1, 1})};
    w.lights = {Distant({0, -1, 0})};
    GetParam().spoil(w);
    try {
        Tracer t(w);
        FAIL() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tracer, BadWorld,
    testing::Values(
        BadWorldCase{"MissingSurface", [](World& w) { w.objects[1].surface = 3; },
                     "object 2 \"plane\": surface 4 does not exist (the world has 1 surfaces)"},
        BadWorldCase{"ZeroRadius", [](World& w) { w.objects[0].radius = 0; },
                     "object 1 \"ball\": sphere radius"},
        BadWorldCase{"PlaneWithoutNormal", [](World& w) { w.objects[1].normal = {0, 0, 0}; },
                     "object 2 \"plane\": plane normal has no length"},
        BadWorldCase{"NegativeBox", [](World& w) { w.objects[2].size[1] = -1; },
                     "object 3 \"box\": box size"},
        BadWorldCase{"NaNPosition", [](World& w) { w.objects[2].position[0] = std::nan(""); },
                     "object 3 \"box\": position is not a finite number"},
        BadWorldCase{"SunWithoutDirection", [](World& w) { w.lights[0].direction = {0, 0, 0}; },
                     "light 1 \"sun\": distant light direction has no length"},
        BadWorldCase{"ZeroIndex", [](World& w) { w.surfaces[0].refractionIndex = 0; },
                     "surface 1 \"matte\": refraction index"},
        BadWorldCase{"InfiniteGlossiness",
                     [](World& w) { w.surfaces[0].glossiness = INFINITY; },
                     "surface 1 \"matte\": glossiness is not a finite number"}),
    [](const testing::TestParamInfo<BadWorldCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace pexil::render
