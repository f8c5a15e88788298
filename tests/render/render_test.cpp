// Renders through the module: tiny scenes whose right image is known, the
// examples against their golden images, and the command line program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/host.h"
#include "host/module_file.h"
#include "host/scene.h"
#include "render/image.h"
#include "render/renderer.h"

namespace pexil::render {
namespace {

namespace fs = std::filesystem;

// One sphere in front of the camera, the background around it.
const char kTiny[] =
    "PexilScene 1\n"
    "FrameSize 24 16\n"
    "Background 0.2 0.3 0.4\n"
    "BackgroundAlpha 0.5\n"
    "{ Camera C\n  Position 0 0 -5\n}\n"
    "{ Surface S\n  Color 0.8 0.6 0.4\n  Specularity 0.5\n}\n"
    "{ Object Ball\n  Sphere\n  Radius 1\n  Surface S\n}\n"
    "{ Light L\n  Distant\n  Direction 1 -1 1\n}\n";

std::string WithNetwork(const std::string& network) {
    return std::string(kTiny) + "Plugin PixelFilterHandler 1 pexil_node\n  { Nodes\n" + network +
           "  }\nEndPlugin\n";
}

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        module = std::make_unique<host::ModuleFile>(PEXIL_MODULE_PATH);
        scene = std::make_unique<host::Scene>(host, *module);
    }
    void TearDown() override {
        scene.reset();
        module.reset();
        EXPECT_TRUE(host.misuse().empty()) << host.misuse().front();
    }
    Image render(const std::string& text, bool filters = true, RenderOptions o = {}) {
        scene->loadText(text, "tiny.scene");
        o.filters = filters;
        Renderer r(host, *scene, o);
        return r.renderFrame(scene->settings().firstFrame);
    }
    // Pixels whose camera ray hits the sphere, by a render whose filter paints hits white.
    std::vector<bool> hits() {
        const Image mask = render(WithNetwork("    { Node 1 Constant\n      Input Value 1 1 1\n    }\n"
                                              "    Connect 1 Color 0 Output\n"));
        std::vector<bool> out;
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x) out.push_back(mask.at(x, y)[0] == 1.0f);
        return out;
    }

    host::Host host;
    std::unique_ptr<host::ModuleFile> module;
    std::unique_ptr<host::Scene> scene;
};

TEST_F(RenderTest, AnUnconnectedRootGivesTheRenderedImageBack) {
    const Image plain = render(WithNetwork(""), false);
    const Image filtered = render(WithNetwork(""));
    EXPECT_EQ(filtered.rgba, plain.rgba);
}

TEST_F(RenderTest, AConstantNetworkColoursEveryHitAndKeepsEveryMiss) {
    const std::vector<bool> hit = hits();
    const Image plain = render(WithNetwork(""), false);
    const Image filtered =
        render(WithNetwork("    { Node 1 Constant\n      Input Value 0.25 0.5 1\n    }\n"
                           "    Connect 1 Color 0 Output\n"));
    int hitCount = 0;
    for (int y = 0; y < plain.height; ++y) {
        for (int x = 0; x < plain.width; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const float* f = filtered.at(x, y);
            const float* p = plain.at(x, y);
            if (hit[y * plain.width + x]) {
                ++hitCount;
                EXPECT_EQ(f[0], 0.25f);
                EXPECT_EQ(f[1], 0.5f);
                EXPECT_EQ(f[2], 1.0f);
            } else {
                for (int c = 0; c < 3; ++c) EXPECT_EQ(f[c], p[c]);
            }
            EXPECT_EQ(f[3], p[3]);  // alpha is the pixel's own
        }
    }
    EXPECT_GT(hitCount, 20);
    EXPECT_LT(hitCount, plain.width * plain.height - 20);
}

TEST_F(RenderTest, AColorNetworkGivesTheRenderedColourBack) {
    const Image plain = render(WithNetwork(""), false);
    const Image filtered = render(WithNetwork("    { Node 1 pexil_PFOut\n    }\n"
                                              "    Connect 1 Color 0 Output\n"));
    EXPECT_EQ(filtered.rgba, plain.rgba);
}

TEST_F(RenderTest, AntiAliasedFiltersRunPerSample) {
    // With four samples, the edge pixels mix the constant and the background;
    // a filter run once per pixel would give pure colours there.
    RenderOptions o;
    o.aaSamples = 4;
    const Image img = render(WithNetwork("    { Node 1 Constant\n      Input Value 1 0 0\n    }\n"
                                         "    Connect 1 Color 0 Output\n"),
                             true, o);
    int mixed = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const float* p = img.at(x, y);
            if (p[0] > 0.25f && p[0] < 0.95f && p[1] > 0.05f) ++mixed;
        }
    EXPECT_GT(mixed, 4);
}

TEST_F(RenderTest, AnimationsCallNewTimeForEveryFrame) {
    scene->loadText(WithNetwork("") + "", "a.scene");
    RenderOptions o;
    o.frames = {3, 5};
    Renderer r(host, *scene, o);
    std::vector<int> frames;
    r.render([&](int frame, const Image&) { frames.push_back(frame); });
    EXPECT_EQ(frames, (std::vector<int>{3, 4, 5}));
}

// ---- The examples ----

const char* const kExamples[] = {"toon", "xray", "mask"};

std::string ExamplePath(const std::string& name) {
    return std::string(PEXIL_SOURCE_DIR) + "/examples/" + name + ".scene";
}

TEST_F(RenderTest, ExamplesSaveLoadSaveToTheSameBytesAndRenderTheSame) {
    for (const char* name : kExamples) {
        SCOPED_TRACE(name);
        scene->loadFile(ExamplePath(name));
        const std::string first = scene->save();
        RenderOptions o;
        o.size = {64, 36};
        o.aaSamples = 1;
        const Image before = Renderer(host, *scene, o).renderFrame(1);
        scene->loadText(first, "resaved.scene");
        EXPECT_EQ(scene->save(), first);
        const Image after = Renderer(host, *scene, o).renderFrame(1);
        EXPECT_EQ(before.rgba, after.rgba);
    }
}

// Golden pictures: the examples at 160 x 90, one sample a pixel. The tracer is
// deterministic; the tolerance allows for floating-point differences between
// compilers and machines, not for changes of look.
TEST_F(RenderTest, ExamplesMatchTheirGoldenImages) {
    const double maxStep = 3.0 / 255, meanStep = 0.25 / 255;
    for (const char* name : kExamples) {
        SCOPED_TRACE(name);
        scene->loadFile(ExamplePath(name));
        RenderOptions o;
        o.size = {160, 90};
        o.aaSamples = 1;
        const Image image = Renderer(host, *scene, o).renderFrame(1);
        const std::string golden = std::string(PEXIL_SOURCE_DIR) + "/tests/golden/" + name + ".png";
        if (std::getenv("PEXIL_UPDATE_GOLDEN") != nullptr) WriteImage(golden, image);
        const ImageDiff d = Compare(image, ReadImage(golden));
        EXPECT_LE(d.maxAbs, maxStep);
        EXPECT_LE(d.meanAbs, meanStep);
    }
}

TEST_F(RenderTest, CheckListsEveryErrorOfAScene) {
    const std::string text =
        "PexilScene 1\n"
        "FrameSize 10 x\n"
        "Gravity 9.8\n"
        "{ Object O\n  Sphere\n  Surface Missing\n}\n"
        "Plugin PixelFilterHandler 1 pexil_node\n  { Nodes\n    Bogus\n  }\nEndPlugin\n";
    std::vector<std::string> errors;
    for (const host::SceneError& e : scene->check(text, "c.scene")) errors.push_back(e.what());
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "c.scene:2: FrameSize: 'x' is not a number",
                          "c.scene:3: unknown keyword 'Gravity'",
                          "c.scene:6: object O: no surface named Missing",
                          "c.scene:10: in Plugin PixelFilterHandler 1 pexil_node > { Nodes: unknown "
                          "keyword 'Bogus' in a network",
                      }));
}

// ---- The command line ----

#ifdef PEXIL_HOST_PROGRAM
struct CommandRun {
    int status;
    std::string output;
};

CommandRun Host(const std::string& args) {
    const std::string log = (fs::temp_directory_path() / ("pexil-cli-" + std::to_string(::getpid()))).string();
    const int status = std::system((std::string(PEXIL_HOST_PROGRAM) + " " + args + " > " + log + " 2>&1").c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    fs::remove(log);
    return {WEXITSTATUS(status), text.str()};
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("pexil-cli-dir-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(CommandLine, RendersAnExampleAndItsAnimationFrames) {
    const std::string out = (dir / "toon.png").string();
    CommandRun r = Host("render " + ExamplePath("toon") + " -o " + out + " --size 32x18 --aa 1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadImage(out).width, 32);

    r = Host("render " + ExamplePath("mask") + " -o " + (dir / "m.exr").string() + " --size 8x6 --frames 2-3");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "m0002.exr"));
    EXPECT_TRUE(fs::exists(dir / "m0003.exr"));
}

TEST_F(CommandLine, ErrorsAreSaidInWords) {
    struct Case {
        std::string args;
        std::string said;
    };
    const Case cases[] = {
        {"render " + ExamplePath("toon") + " -o " + (dir / "x.gif").string(), "must end in .png or .exr"},
        {"render /nonexistent.scene -o " + (dir / "x.png").string(), "/nonexistent.scene: cannot read file"},
        {"render " + ExamplePath("toon") + " -o x.png --module /etc/passwd", "/etc/passwd: not a loadable module"},
        {"render " + ExamplePath("toon") + " -o x.png --aa 3", "square number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandRun r = Host(c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "x.gif"));
}

TEST_F(CommandLine, InfoResaveGraphAndOutputs) {
    CommandRun r = Host("info");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("NodeHandler pexil_PFOut: version 1 -> activated (0)"), std::string::npos) << r.output;

    const std::string resaved = (dir / "toon.scene").string();
    r = Host("resave " + ExamplePath("toon") + " -o " + resaved);
    EXPECT_EQ(r.status, 0) << r.output;
    r = Host("resave " + resaved + " -o " + (dir / "again.scene").string());
    std::ifstream a(resaved), b(dir / "again.scene");
    std::stringstream ta, tb;
    ta << a.rdbuf();
    tb << b.rdbuf();
    EXPECT_EQ(ta.str(), tb.str());

    r = Host("graph " + ExamplePath("toon") + " -o -");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("digraph"), std::string::npos);
    EXPECT_NE(r.output.find("node1:out_DiffuseShading -> node2:in_Value"), std::string::npos) << r.output;

    r = Host("outputs " + ExamplePath("toon") + " -o " + (dir / "sheet.png").string() + " --size 40x24");
    EXPECT_EQ(r.status, 0) << r.output;
    const Image sheet = ReadImage((dir / "sheet.png").string());
    EXPECT_GT(sheet.width, 6 * 40);

    r = Host("check " + ExamplePath("xray"));
    EXPECT_EQ(r.status, 0) << r.output;
}
#endif

}  // namespace
}  // namespace pexil::render
