// The world part of scene files: settings, cameras, surfaces, objects and
// lights, read, written back and turned into the host's cameras.
#include "host/scene_world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/host.h"

namespace pexil::host {
namespace {

SceneWorld Read(const std::string& text) {
    WorldReader r("w.scene");
    for (const SceneNode& n : parseSceneText(text, "w.scene", {"Plugin"}))
        if (!r.read(n))
            throw SceneError("w.scene", n.line, "", "not a world statement: " + n.keyword);
    return r.finish();
}

std::string Write(const SceneWorld& w) {
    SceneWriter out;
    WriteWorld(w, out);
    return out.text();
}

const char kWorld[] =
    "FrameSize 320 200\n"
    "FrameRange 1 12\n"
    "FramesPerSecond 30\n"
    "Background 0.1 0.2 0.3\n"
    "BackgroundAlpha 0.5\n"
    "Antialiasing 4\n"
    "Ambient 0.1 0.1 0.1\n"
    "{ Camera Main\n"
    "  Position 0 1 -6\n"
    "  LookAt 0 0 0\n"
    "  Zoom 2\n"
    "  { Key 12\n"
    "    Position 6 1 0\n"
    "  }\n"
    "}\n"
    "{ Camera Top\n"
    "  Projection orthographic\n"
    "  Position 0 10 0\n"
    "  Rotation 0 90 0\n"
    "  OrthoHeight 8\n"
    "}\n"
    "RenderCamera Main\n"
    "RenderCamera Top 6\n"
    "{ Surface Glass\n"
    "  Color 0.9 0.95 1\n"
    "  Specularity 0.8\n"
    "  Transparency 0.9\n"
    "  RefractionIndex 1.5\n"
    "  ReplacementColor 1 0 0\n"
    "  ReplacementPercentage 0.25\n"
    "}\n"
    "{ Object Ball\n"
    "  Sphere\n"
    "  Position 0 1 0\n"
    "  Radius 0.5\n"
    "  Surface Glass\n"
    "}\n"
    "{ Object Floor\n"
    "  Plane\n"
    "  Surface Glass\n"
    "}\n"
    "{ Light Sun\n"
    "  Distant\n"
    "  Direction -1 -2 1\n"
    "  Intensity 1.5\n"
    "  Shadows off\n"
    "}\n";

TEST(SceneWorld, ReadsEverythingAndWritesItBackTheSame) {
    const SceneWorld w = Read(kWorld);
    EXPECT_EQ(w.world.settings.width, 320);
    EXPECT_EQ(w.world.settings.lastFrame, 12);
    EXPECT_EQ(w.world.settings.aaSamples, 4);
    ASSERT_EQ(w.cameras.size(), 2u);
    EXPECT_EQ(w.cameras[1].projection, Projection::Orthographic);
    ASSERT_EQ(w.world.objects.size(), 2u);
    EXPECT_EQ(w.world.objects[1].kind, ShapeKind::Plane);
    EXPECT_EQ(w.world.objects[1].surface, 0u);
    EXPECT_EQ(w.world.surfaces[0].refractionIndex, 1.5);
    EXPECT_FALSE(w.world.lights[0].shadows);
    EXPECT_EQ(Write(w), kWorld);
    EXPECT_EQ(Write(Read(Write(w))), kWorld);
}

TEST(SceneWorld, DefaultsAreNotWritten) {
    EXPECT_EQ(Write(Read("{ Surface S\n  Diffuse 1\n}\n")), "FrameSize 640 480\n{ Surface S\n}\n");
}

TEST(SceneWorld, ErrorsNameLineBlockAndWhat) {
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"FrameSize 0 10\n", "w.scene:1: FrameSize: '0' is not a whole number from 1 to 65536"},
        {"FrameSize 10 10\nFrameSize 10 10\n",
         "w.scene:2: FrameSize is given twice (first on line 1)"},
        {"FrameRange 5 1\n", "w.scene:1: FrameRange: the last frame comes before the first"},
        {"Antialiasing 3\n",
         "w.scene:1: Antialiasing takes a square number of samples (1, 4, 9, 16, ...), not 3"},
        {"Background 1 1\n", "w.scene:1: Background takes 3 arguments: red, green and blue"},
        {"{ Surface S\n  Glow 1\n}\n",
         "w.scene:2: in { Surface S: unknown keyword 'Glow' in a surface"},
        {"{ Surface S\n  Reflection 1.5\n}\n",
         "w.scene:2: in { Surface S: Reflection must be from 0 to 1, not 1.5"},
        {"{ Surface S\n  Color 1 x 0\n}\n",
         "w.scene:2: in { Surface S: Color: 'x' is not a number"},
        {"{ Surface S\n  Diffuse 1\n  Diffuse 1\n}\n",
         "w.scene:3: in { Surface S: Diffuse is given twice"},
        {"{ Surface\n}\n", "w.scene:1: { Surface needs a name"},
        {"{ Surface S\n}\n{ Surface S\n}\n", "w.scene:3: surface S is defined twice"},
        {"{ Object O\n  Surface S\n}\n", "w.scene:1: object O needs a shape: Sphere, Plane or Box"},
        {"{ Object O\n  Sphere\n}\n", "w.scene:1: object O needs a Surface"},
        {"{ Object O\n  Sphere\n  Box\n  Surface S\n}\n",
         "w.scene:3: in { Object O: an object has one shape"},
        {"{ Object O\n  Sphere\n  Radius 0\n  Surface S\n}\n",
         "w.scene:3: in { Object O: Radius must be above 0, not 0"},
        {"{ Object O\n  Sphere\n  Surface S\n}\n", "w.scene:3: object O: no surface named S"},
        {"{ Light L\n  Intensity 1\n}\n", "w.scene:1: light L needs a kind: Distant or Point"},
        {"{ Light L\n  Distant\n  Direction 0 0 0\n}\n",
         "w.scene:1: light L needs a Direction that is not zero"},
        {"{ Surface S\n}\n{ Object P\n  Plane\n  Normal 0 0 0\n  Surface S\n}\n",
         "w.scene:3: plane P needs a Normal that is not zero"},
        {"{ Light L\n  Point\n  Shadows maybe\n}\n",
         "w.scene:3: in { Light L: Shadows takes on or off"},
        {"{ Camera C\n  LookAt 0 0 1\n  Rotation 0 0 0\n}\n",
         "w.scene:3: in { Camera C: a camera takes LookAt or Rotation, not both"},
        {"{ Camera C\n  Zoom -1\n}\n", "w.scene:2: in { Camera C: Zoom must be above 0, not -1"},
        {"{ Camera C\n  { Key 5\n  }\n  { Key 2\n  }\n}\n",
         "w.scene:4: in { Camera C: keys must come in increasing frame order"},
        {"{ Camera C\n  Projection fisheye\n}\n",
         "w.scene:2: in { Camera C: Projection takes perspective or orthographic"},
        {"RenderCamera Nobody\n", "w.scene:1: RenderCamera: no camera named Nobody"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            Read(c.text);
            ADD_FAILURE() << "no error";
        } catch (const SceneError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
}

TEST(SceneWorld, CameraAxesFromLookAtAndRotation) {
    struct Case {
        const char* pose;
        Vec3 right, up, forward;
    };
    const double s = std::sqrt(0.5);
    const Case cases[] = {
        {"Position 0 0 0\n", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"Position 0 0 -5\n  LookAt 0 0 0\n", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"Position 5 0 0\n  LookAt 0 0 0\n", {0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},
        {"Rotation 90 0 0\n", {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {"Rotation 0 45 0\n", {1, 0, 0}, {0, s, s}, {0, -s, s}},
        {"Rotation 0 0 90\n", {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {"Position 0 5 0\n  LookAt 0 0 0\n", {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},  // straight down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pose);
        Host host;
        InstallCameras(host, Read(std::string("{ Camera C\n  ") + c.pose + "}\n"));
        const CameraState st = host.cameras()[0].at(0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(st.right[i], c.right[i], 1e-12) << "right " << i;
            EXPECT_NEAR(st.up[i], c.up[i], 1e-12) << "up " << i;
            EXPECT_NEAR(st.forward[i], c.forward[i], 1e-12) << "forward " << i;
        }
    }
}

TEST(SceneWorld, KeysAndRenderCamerasFollowTheFrames) {
    Host host;
    InstallCameras(host, Read(kWorld));
    ASSERT_EQ(host.cameras().size(), 2u);
    const HostCamera& main = host.cameras()[0];
    EXPECT_EQ(main.at(0).position, (std::array<double, 3>{0, 1, -6}));
    EXPECT_EQ(main.at(12 / 30.0).position, (std::array<double, 3>{6, 1, 0}));
    EXPECT_EQ(host.cameras()[1].flags, uint32_t{kCameraOwnRays});
    EXPECT_EQ(host.renderCameraIndex(1 / 30.0), 0u);
    EXPECT_EQ(host.renderCameraIndex(6 / 30.0), 1u);
    EXPECT_EQ(host.sceneInfo().frameWidth, 320);
    EXPECT_EQ(host.sceneInfo().frameEnd, 12);
}

}  // namespace
}  // namespace pexil::host
