// The per-pixel evaluation: the ray it casts, hits and misses, what reaches
// the nodal record, and what the pixel sample node's outputs deliver.
#include "host/pixel.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/network_eval.h"
#include "host/scene_states.h"
#include "module_fixture.h"

namespace pexil::host::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A scripted pixel that also checks the shading record arrives zero-filled.
struct CheckedPixel : ScriptedPixel {
    bool recordWasClear = true;
    const HostShadingRecord* record = nullptr;
    double shade(const double* start, const double* direction, HostShadingRecord* out) override {
        static const HostShadingRecord zero{};
        recordWasClear = recordWasClear && std::memcmp(out, &zero, sizeof zero) == 0;
        record = out;
        return ScriptedPixel::shade(start, direction, out);
    }
};

class PixelTest : public InstanceTest {
  protected:
    void SetUp() override {
        InstanceTest::SetUp();
        if (HasFatalFailure()) return;
        host.cameras()[0].state.position = {0, 0, -5};
        host.setFrameSize(640, 480);
        startFrame();
        px.rgba = {0.25f, 0.5f, 0.75f, 0.625f};
        px.diffuse = {0.1f, 0.8f, 0.3f};
        px.specular = {0.4f, 0.2f, 0.9f};
        host.trace().clear();
    }
    void TearDown() override {
        filter.rend.cleanup(inst);
        InstanceTest::TearDown();
    }
    void startFrame() {
        filter.rend.init(inst, 0);
        filter.rend.newTime(inst, 1, 0.0);
    }
    PixelResult run(double sx = 10, double sy = 20) {
        return EvaluatePixel(host, filter.filter, inst, sx, sy, px);
    }
    NodeEditor& editor() { return *lastEditor(); }
    NodeInput& output() { return *editor().root().input("Output"); }
    Node& sampleNode() { return host.addPluginNode(editor(), "pexil_PFOut"); }
    void connect(Node& n, const char* out) { editor().connect(*n.output(out), output()); }
    // What a sample node output delivers now.
    static ValueSlot value(Node& n, const std::string& out) {
        return EvaluateOutput(*n.output(out), nullptr);
    }
    // A hit whose shading record carries a distinct value in every member the filter reads.
    void scriptHit() {
        HostShadingRecord& s = px.shading;
        s.color[0] = 0.11, s.color[1] = 0.12, s.color[2] = 0.13;
        s.luminosity = 0.21, s.diffuse = 0.22, s.specularity = 0.23, s.reflection = 0.24;
        s.transparency = 0.25, s.translucency = 0.26, s.reflectionBlur = 0.27;
        s.refractionBlur = 0.28, s.bumpHeight = 0.29, s.diffuseSharpness = 0.31;
        s.replacementPercentage = 0.32, s.shading = 0.33;
        s.replacementColor[0] = 0.41, s.replacementColor[1] = 0.42, s.replacementColor[2] = 0.43;
        s.refractionShade[0] = 0.51, s.refractionShade[1] = 0.52, s.refractionShade[2] = 0.53;
        s.reflectionShade[0] = 0.61, s.reflectionShade[1] = 0.62, s.reflectionShade[2] = 0.63;
        px.distance = 4.0;
    }

    CheckedPixel px;
};

std::array<double, 3> Unit(std::array<double, 3> v) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / l, v[1] / l, v[2] / l};
}

void ExpectRay(const std::array<double, 6>& ray, std::array<double, 3> origin,
               std::array<double, 3> dir) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(ray[i], origin[i], 1e-12) << "origin " << i;
        EXPECT_NEAR(ray[3 + i], dir[i], 1e-12) << "direction " << i;
    }
}

TEST_F(PixelTest, TheRayPassesThroughThePixelCentre) {
    const double u = -1.33125, v = 0.99791666666666667, zoom = 3.2;
    run(0, 0);
    run(639, 479);
    ASSERT_EQ(px.rays.size(), 2u);
    ExpectRay(px.rays[0], {0, 0, -5}, Unit({u, v, zoom}));
    ExpectRay(px.rays[1], {0, 0, -5}, Unit({-u, -v, zoom}));
}

TEST_F(PixelTest, PixelAspectScalesFilmXAndTheOffsetIsTakenPerComponent) {
    CameraState& c = host.cameras()[0].state;
    c.pixelAspect = 2.0;
    c.filmOffset = {0.1, 0.2, 0.3};
    c.right = {1, 1, 0};  // normalised by new time
    startFrame();
    run(0, 0);
    const double u = -2.6625, v = 0.99791666666666667, zoom = 3.2, r = std::sqrt(0.5);
    // Component i subtracts offset i from each film coordinate.
    ExpectRay(px.rays.back(), {0, 0, -5},
              Unit({(u - 0.1) * r, (u - 0.2) * r + (v - 0.2), (zoom - 0.3)}));
}

TEST_F(PixelTest, DistanceDecidesHitOrMiss) {
    const std::pair<double, bool> cases[] = {
        {-1.0, false}, {-1e-300, false}, {kNaN, false}, {-kInf, false}, {0.0, true},
        {-0.0, true},  {1e-300, true},   {7.5, true},   {kInf, true},
    };
    for (const auto& [distance, hit] : cases) {
        SCOPED_TRACE(distance);
        host.trace().clear();
        px.distance = distance;
        run();
        EXPECT_EQ(host.trace().texts(kNodeEditorFuncsName).size(), hit ? 1u : 0u);
    }
}

TEST_F(PixelTest, AMissWritesThePixelBackUnchanged) {
    px.distance = -1;
    const HostNodalAccess before = as(inst)->nodalAccess;
    const PixelResult r = run();
    EXPECT_EQ(r.rgba, px.rgba);
    EXPECT_EQ(r.writes, 1);
    EXPECT_EQ(std::memcmp(&before, &as(inst)->nodalAccess, sizeof before), 0);
    EXPECT_EQ(host.trace().texts(),
              (std::vector<std::string>{
                  "PixelAccess get values(32, 4)",
                  "PixelAccess ray shade(0, 0, -5, -0.361305, 0.25624, 0.896549)",
                  "PixelAccess set rgba(0.25, 0.5, 0.75, 0.625)",
              }));
    EXPECT_TRUE(px.recordWasClear);
}

TEST_F(PixelTest, AHitWithAnUnconnectedRootKeepsTheColourButPublishesTheHit) {
    scriptHit();
    const PixelResult r = run();
    EXPECT_EQ(r.rgba, px.rgba);
    EXPECT_EQ(editor().userData, inst);
    EXPECT_EQ(as(inst)->nodalAccess.bumpHeight, 0.29);
    const std::string data = PointerText(inst);
    EXPECT_EQ(host.trace().texts(),
              (std::vector<std::string>{
                  "PixelAccess get values(32, 4)",
                  "PixelAccess ray shade(0, 0, -5, -0.361305, 0.25624, 0.896549)",
                  "PixelAccess get values(13, 3)",
                  "PixelAccess get values(14, 3)",
                  "NodeEditorFuncs 14 set user data(editor1, " + data + ")",
                  "NodeInputFuncs 4 connected(editor1.root.Output)",
                  "PixelAccess set rgba(0.25, 0.5, 0.75, 0.625)",
              }));
}

TEST_F(PixelTest, AConnectedRootGivesTheNetworkColourAndThePixelsOwnAlpha) {
    scriptHit();  // its transparency must not reach the alpha
    Node& c = editor().addBuiltin("Constant");
    c.inputs[0]->value = {0.1, 2.5, -3.0};
    connect(c, "Color");
    const PixelResult r = run();
    EXPECT_EQ(r.rgba, (std::array<float, 4>{0.1f, 2.5f, -3.0f, 0.625f}));
    EXPECT_EQ(host.trace().texts(kNodeInputFuncsName),
              (std::vector<std::string>{"NodeInputFuncs 4 connected(editor1.root.Output)",
                                        "NodeInputFuncs 3 evaluate(editor1.root.Output)"}));
}

TEST_F(PixelTest, EveryMappedShadingMemberReachesTheNodalRecordUnchanged) {
    // A different byte everywhere, so that a member taken from the wrong place shows.
    auto* bytes = reinterpret_cast<unsigned char*>(&px.shading);
    for (std::size_t i = 0; i < sizeof px.shading; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    px.distance = 1.0;
    run();
    struct Row {
        std::size_t nodal, shading, size;
    };
    const Row rows[] = {
        {0, 0, 4},
        {4, 4, 4},
        {8, 8, 24},
        {32, 32, 24},
        {56, 56, 24},
        {80, 280, 24},
        {104, 416, 24},
        {128, 88, 24},
        {152, 112, 8},
        {160, 80, 8},
        {168, 120, 8},
        {176, 440, 8},
        {184, 128, 72},
        {256, 200, 72},
        {328, 384, 4},
        {332, 744, 4},
        {336, 388, 4},
        {340, 392, 4},
        {344, 396, 4},
        {352, 404, 4},
        {356, 408, 4},
        {360, 272, 4},
        {364, 276, 4},
        {368, 488, 16},
        {448, 568, 4},
        {456, 632, 8},
        {464, 640, 4},
        {468, 400, 4},
        // The per-entry blocks, entry by entry.
        {384, 504, 4},
        {388, 508, 4},
        {392, 512, 4},
        {396, 516, 4},
        {400, 520, 12},
        {412, 532, 12},
        {424, 544, 12},
        {436, 556, 12},
    };
    const auto* nodal = reinterpret_cast<const unsigned char*>(&as(inst)->nodalAccess);
    std::vector<bool> written(sizeof(HostNodalAccess), false);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.nodal);
        EXPECT_EQ(std::memcmp(nodal + r.nodal, bytes + r.shading, r.size), 0);
        for (std::size_t i = 0; i < r.size; ++i) written[r.nodal + i] = true;
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (!written[i]) {
            SCOPED_TRACE(i);
            EXPECT_TRUE((i >= 348 && i < 352) || (i >= 452 && i < 456));
            EXPECT_EQ(nodal[i], 0);  // never written on a fresh instance
        }
    }
}

TEST_F(PixelTest, TheShadingRecordIsClearedForEveryPixel) {
    scriptHit();
    run();
    px.shading = {};
    px.distance = -1;
    run();
    EXPECT_TRUE(px.recordWasClear);
    ASSERT_NE(px.record, nullptr);
    // After a miss the module-wide record holds what the host left, here zeros.
    const HostShadingRecord zero{};
    EXPECT_EQ(std::memcmp(px.record, &zero, sizeof zero), 0);
}

TEST_F(PixelTest, ACameraWithItsOwnRaysIsAskedForEachPixelsRay) {
    HostCamera& cam = host.cameras()[0];
    cam.projection = Projection::Orthographic;
    cam.flags = kCameraOwnRays;
    cam.state.orthoHeight = 4.0;
    startFrame();
    host.trace().clear();
    run(0, 0);
    EXPECT_EQ(
        host.trace().texts(kCameraEvalFuncsName),
        std::vector<std::string>{"LW Camera Evaluation Funcs 2 8 ray(evaluator2, 0, 0, 0, 0, 0)"});
    // Parallel rays: each starts on the film plane and runs along the forward axis.
    ExpectRay(px.rays.back(), {-1.33125 * 2, 0.99791666666666667 * 2, -5}, {0, 0, 1});
    EXPECT_NEAR(as(inst)->camera.rayOrigin[0], -2.6625, 1e-12);
    run(639, 479);
    ExpectRay(px.rays.back(), {1.33125 * 2, -0.99791666666666667 * 2, -5}, {0, 0, 1});
}

TEST_F(PixelTest, APinholeCameraNeverAsksTheEvaluator) {
    run();
    run(5, 5);
    EXPECT_TRUE(host.trace().texts(kCameraEvalFuncsName).empty());
}

TEST_F(PixelTest, ADirectionOfZeroLengthIsNotShaded) {
    CameraState& c = host.cameras()[0].state;
    c.right = c.up = c.forward = {0, 0, 0};
    startFrame();
    px.distance = 1.0;  // would be a hit, were the ray cast
    const PixelResult r = run();
    EXPECT_TRUE(px.rays.empty());
    EXPECT_EQ(r.rgba, px.rgba);
}

// ---- The pixel sample node ----

class SampleNodeTest : public PixelTest {};

struct Expected {
    const char* name;
    int type;
    std::array<double, 3> value;  // scalars use [0]
};

// After scriptHit() at pixel (10, 20).
const Expected kAfterHit[26] = {
    {"Color", kConnectionColor, {0.25, 0.5, 0.75}},
    {"Alpha", kConnectionScalar, {0.25}},  // the transparency, on a hit
    {"Diffuse", kConnectionScalar, {0.22}},
    {"Luminosity", kConnectionScalar, {0.21}},
    {"Specularity", kConnectionScalar, {0.23}},
    {"Reflection", kConnectionScalar, {0.24}},
    {"Transparency", kConnectionScalar, {0.25}},
    {"Translucency", kConnectionScalar, {0.26}},
    {"Reflecblur", kConnectionScalar, {0.27}},
    {"Refrctblur", kConnectionScalar, {0.28}},
    {"Bumheight", kConnectionScalar, {0.29}},
    {"Diffsharpness", kConnectionScalar, {0.31}},
    {"RawColor", kConnectionColor, {0.11, 0.12, 0.13}},
    {"Replacement Color", kConnectionColor, {0.41, 0.42, 0.43}},
    {"Replacement Percentage", kConnectionScalar, {0.32}},
    {"Special", kConnectionScalar, {0.0}},
    {"Shading", kConnectionScalar, {0.33}},
    {"DiffuseShading", kConnectionColor, {0.8f, 0.8f, 0.8f}},
    {"SpecularShading", kConnectionColor, {0.2f, 0.2f, 0.2f}},
    {"Shaddow", kConnectionScalar, {0.22}},
    {"MotionX", kConnectionScalar, {0.0}},
    {"MotionY", kConnectionScalar, {0.0}},
    {"Reflection Shade", kConnectionColor, {0.61, 0.62, 0.63}},
    {"Refraction Shade", kConnectionColor, {0.51, 0.52, 0.53}},
    {"sx", kConnectionScalar, {10.0}},
    {"sy", kConnectionScalar, {20.0}},
};

void ExpectOutputs(Node& n, const Expected (&expected)[26]) {
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const ValueSlot v = EvaluateOutput(*n.output(e.name), nullptr);
        EXPECT_TRUE(v.set);
        const int count = e.type == kConnectionColor ? 3 : 1;
        for (int i = 0; i < count; ++i) EXPECT_EQ(v.value[i], e.value[i]) << i;
    }
}

TEST_F(SampleNodeTest, CreateMakesTheOutputsInOrderAndColoursTheNode) {
    Node& n = sampleNode();
    ASSERT_EQ(n.outputs.size(), 26u);
    for (int i = 0; i < 26; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(n.outputs[i]->name, kAfterHit[i].name);
        EXPECT_EQ(n.outputs[i]->type, kAfterHit[i].type);
        EXPECT_EQ(n.outputs[i]->number, i + 1);
    }
    EXPECT_TRUE(n.inputs.empty());
    EXPECT_EQ(n.color, (std::array<int, 3>{10, 40, 10}));
    const std::vector<std::string> calls = host.trace().texts();
    const auto first =
        std::find(calls.begin(), calls.end(), "NodeFuncs 3 channel group(editor1.node1)");
    ASSERT_NE(first, calls.end());
    EXPECT_EQ(*(first + 1),
              "Animation Envelopes 3 create group(group:Camera/editor1.node1, PF_output)");
    EXPECT_EQ(*(first + 2), "NodeOutputFuncs 1 create(editor1.node1, 1, Color)");
    EXPECT_EQ(*(first + 27), "NodeOutputFuncs 1 create(editor1.node1, 2, sy)");
    EXPECT_EQ(*(first + 28), "NodeFuncs 5 set colour(editor1.node1, 10, 40, 10)");
}

TEST_F(SampleNodeTest, BeforeAnyPixelEveryOutputIsZero) {
    Node& n = sampleNode();
    Expected zeros[26];
    for (int i = 0; i < 26; ++i) zeros[i] = {kAfterHit[i].name, kAfterHit[i].type, {0, 0, 0}};
    ExpectOutputs(n, zeros);
}

TEST_F(SampleNodeTest, AfterAHitEveryOutputDeliversItsValue) {
    Node& n = sampleNode();
    scriptHit();
    run(10, 20);
    ExpectOutputs(n, kAfterHit);
}

TEST_F(SampleNodeTest, AfterAMissOnlyColourAndAlphaChange) {
    Node& n = sampleNode();
    scriptHit();
    run(10, 20);
    px.rgba = {0.9f, 0.8f, 0.7f, 0.5f};
    px.shading = {};
    px.distance = -1;
    run(30, 40);
    Expected expected[26];
    std::copy(std::begin(kAfterHit), std::end(kAfterHit), expected);
    expected[0].value = {0.9f, 0.8f, 0.7f};
    expected[1].value = {0.5};
    ExpectOutputs(n, expected);
}

TEST_F(SampleNodeTest, NumberZeroGivesBlackAndOtherNumbersNothing) {
    Node& n = sampleNode();
    scriptHit();
    run();
    const std::pair<int32_t, bool> cases[] = {{0, true}, {27, false}, {-1, false}, {1000, false}};
    for (const auto& [number, set] : cases) {
        SCOPED_TRACE(number);
        host.config.outputNumber = number;
        const ValueSlot v = value(n, "Color");
        EXPECT_EQ(v.set, set);
        EXPECT_EQ(v.value, (std::array<double, 3>{0, 0, 0}));
    }
}

TEST_F(SampleNodeTest, TwoNodesAgree) {
    Node& a = sampleNode();
    Node& b = sampleNode();
    scriptHit();
    run(10, 20);
    for (const Expected& e : kAfterHit)
        EXPECT_EQ(value(a, e.name).value, value(b, e.name).value) << e.name;
}

TEST_F(SampleNodeTest, NetworksFromTheNodeFilterThePixel) {
    struct Case {
        const char* output;
        std::array<float, 4> rgba;
    };
    const Case cases[] = {
        {"DiffuseShading", {0.8f, 0.8f, 0.8f, 0.625f}},
        {"Color", {0.25f, 0.5f, 0.75f, 0.625f}},
        {"Diffuse", {0.22f, 0.22f, 0.22f, 0.625f}},  // a scalar into a colour input is grey
        {"RawColor", {0.11f, 0.12f, 0.13f, 0.625f}},
    };
    Node& n = sampleNode();
    scriptHit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        editor().disconnect(output());
        connect(n, c.output);
        EXPECT_EQ(run().rgba, c.rgba);
    }
}

TEST_F(SampleNodeTest, TheNodeHasNoDataOfItsOwnAndLoadsBackFromAScene) {
    Node& n = sampleNode();
    connect(n, "SpecularShading");
    SceneWriter w;
    SceneSaveState save(host, w);
    filter.inst.save(inst, save.record());
    EXPECT_EQ(w.text(),
              "{ Nodes\n"
              "  { Node 1 pexil_PFOut\n"
              "  }\n"
              "  Connect 1 SpecularShading 0 Output\n"
              "}\n");

    std::vector<SceneNode> parsed = parseSceneText(
        "Plugin PixelFilterHandler 1 pexil_node\n" + w.text() + "EndPlugin\n", "s", {"Plugin"});
    SceneLoadState load(host, parsed[0], "s", {}, "pexil_node");
    filter.inst.load(inst, load.record());
    load.finish();
    ASSERT_FALSE(load.error()) << load.error()->what();
    scriptHit();
    EXPECT_EQ(run().rgba, (std::array<float, 4>{0.2f, 0.2f, 0.2f, 0.625f}));
}

}  // namespace
}  // namespace pexil::host::testing
