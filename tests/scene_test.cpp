// Scene files with the filter's own blocks: round trips and errors.
#include "host/scene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/host.h"
#include "host/module_file.h"

namespace pexil::host {
namespace {

const char kScene[] =
    "PexilScene 1\n"
    "FrameSize 320 240\n"
    "Plugin PixelFilterHandler 1 pexil_node\n"
    "  { Nodes\n"
    "    { Node 1 Constant\n"
    "      Input Value 1 0.5 0.25\n"
    "    }\n"
    "    { Node 2 Scalar\n"
    "      Input Value 0.1\n"
    "    }\n"
    "    Connect 2 Value 1 Value\n"
    "    Connect 1 Color 0 Output\n"
    "  }\n"
    "EndPlugin\n";

class SceneFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        module = std::make_unique<ModuleFile>(PEXIL_MODULE_PATH);
        scene = std::make_unique<Scene>(host, *module);
    }
    void TearDown() override {
        scene.reset();
        module.reset();
        EXPECT_TRUE(host.misuse().empty()) << host.misuse().front();
    }
    std::string errorOf(const std::string& text) {
        try {
            scene->loadText(text, "bad.scene");
        } catch (const SceneError& e) {
            return e.what();
        }
        return "(loaded)";
    }
    Host host;
    std::unique_ptr<ModuleFile> module;
    std::unique_ptr<Scene> scene;
};

TEST_F(SceneFiles, SaveLoadSaveGivesTheSameBytes) {
    scene->loadText(kScene, "a.scene");
    EXPECT_EQ(scene->settings().width, 320);
    EXPECT_EQ(host.sceneInfo().frameWidth, 320);
    ASSERT_EQ(scene->filters().size(), 1u);
    const std::string first = scene->save();
    EXPECT_EQ(first, kScene);
    scene->loadText(first, "b.scene");
    EXPECT_EQ(scene->save(), first);
}

TEST_F(SceneFiles, TwoFiltersShareTheOneEditorOfTheLatestCreate) {
    std::string text = kScene;
    text += "Plugin PixelFilterHandler 2 pexil_node\n  { Nodes\n  }\nEndPlugin\n";
    scene->loadText(text, "two.scene");
    ASSERT_EQ(scene->filters().size(), 2u);
    // Both instances save the current editor's network, which the second block left empty.
    const std::string saved = scene->save();
    EXPECT_EQ(saved.find("Node 1"), std::string::npos);
    EXPECT_EQ(saved,
              "PexilScene 1\nFrameSize 320 240\n"
              "Plugin PixelFilterHandler 1 pexil_node\n  { Nodes\n  }\nEndPlugin\n"
              "Plugin PixelFilterHandler 2 pexil_node\n  { Nodes\n  }\nEndPlugin\n");
}

TEST_F(SceneFiles, MalformedScenesNameFileLineAndBlock) {
    struct Case {
        std::string text;
        std::string error;
    };
    const std::string head = "PexilScene 1\n";
    const std::string plugin = "Plugin PixelFilterHandler 1 pexil_node\n";
    const Case cases[] = {
        {"", "bad.scene: a scene starts with 'PexilScene 1'"},
        {"PexilScene 2\n",
         "bad.scene:1: scene format version 2 is not supported (this host reads version 1)"},
        {head + "Size 3 4\n", "bad.scene:2: unknown keyword 'Size'"},
        {head + "FrameSize 640\n",
         "bad.scene:2: FrameSize takes 2 arguments: width and height in pixels"},
        {head + "FrameSize 640 x\n", "bad.scene:2: FrameSize: 'x' is not a number"},
        {head + plugin + "  { Nodes\n  }\n",
         "bad.scene:4: in Plugin PixelFilterHandler 1 pexil_node: end of file while section Plugin "
         "opened on line 2 is still open; expected EndPlugin"},
        {head + "Plugin PixelFilterHandler 2 pexil_node\nEndPlugin\n",
         "bad.scene:2: PixelFilterHandler index 2 is out of order (expected 1)"},
        {head + "Plugin PixelFilterHandler 1 other\nEndPlugin\n",
         "bad.scene:2: " PEXIL_MODULE_PATH " has no pixel filter named other"},
        {head + "Plugin ImageFilterHandler 1 pexil_node\nEndPlugin\n",
         "bad.scene:2: plug-in class ImageFilterHandler is not one this host loads"},
        {head + plugin + "  { Nodes\n    { Node 1 Gizmo\n    }\n  }\nEndPlugin\n",
         "bad.scene:4: in Plugin PixelFilterHandler 1 pexil_node > { Nodes: unknown node type "
         "'Gizmo'"},
        {head + plugin + "  { Nodes\n    Connect 1 Color 0 Output\n  }\nEndPlugin\n",
         "bad.scene:4: in Plugin PixelFilterHandler 1 pexil_node > { Nodes: no node 1 to connect "
         "from"},
        {head + plugin +
             "  { Nodes\n    { Node 1 Constant\n      Input Value 1\n    }\n  }\nEndPlugin\n",
         "bad.scene:5: in Plugin PixelFilterHandler 1 pexil_node > { Nodes: input 'Value' takes 3 "
         "numbers"},
        {head + plugin +
             "  { Nodes\n    { Node 1 Scalar\n    }\n    { Node 2 Scalar\n    }\n"
             "    Connect 1 Value 2 Value\n    Connect 2 Value 1 Value\n  }\nEndPlugin\n",
         "bad.scene:8: in Plugin PixelFilterHandler 1 pexil_node > { Nodes: connecting node 1 to "
         "node 2 "
         "closes a loop"},
        {head + plugin + "  { Nodes\n  }\n  Extra 1\nEndPlugin\n",
         "bad.scene:5: in Plugin PixelFilterHandler 1 pexil_node: 'Extra' is not read by "
         "pexil_node and "
         "would be lost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(errorOf(c.text), c.error);
    }
}

TEST_F(SceneFiles, AFailedLoadLeavesTheSceneAsItWas) {
    scene->loadText(kScene, "good.scene");
    const std::string before = scene->save();
    std::string bad = kScene;
    bad += "Plugin PixelFilterHandler 2 pexil_node\n  { Nodes\n    Bogus\n  }\nEndPlugin\n";
    EXPECT_THROW(scene->loadText(bad, "bad.scene"), SceneError);
    ASSERT_EQ(scene->filters().size(), 1u);
    EXPECT_EQ(scene->settings().width, 320);
    EXPECT_EQ(scene->save(), before);  // the network too, not just the scene's own lines
}

TEST_F(SceneFiles, FilesAreWrittenWhole) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("pexil-scene-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    scene->loadText(kScene, "a.scene");
    scene->saveFile((dir / "out.scene").string());
    Scene again(host, *module);
    again.loadFile((dir / "out.scene").string());
    EXPECT_EQ(again.save(), kScene);
    EXPECT_THROW(scene->saveFile((dir / "missing" / "x.scene").string()), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace pexil::host
