// The filter instance and its node editor: create, destroy, copy, describe,
// flags, load, save and the editor callbacks, read from the host's trace.
#include <cstring>
#include <string>
#include <vector>

#include "host/scene_states.h"
#include "module_fixture.h"

namespace pexil::host::testing {
namespace {

class FilterInstanceTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(activateFilter(), kActivateOk);
        host.trace().clear();
    }
    // Editor and scene-state calls only, in order.
    std::vector<std::string> editorCalls() {
        std::vector<std::string> out;
        for (const TraceEntry& e : host.trace().entries())
            if (e.service == kNodeEditorFuncsName || e.service == "LoadState" ||
                e.service == "SaveState")
                out.push_back(e.text());
        return out;
    }
    // Loads `text` (a Plugin section's content) into `instance`.
    std::vector<std::string> load(void* instance, const std::string& content) {
        const std::string text =
            "Plugin PixelFilterHandler 1 pexil_node\n" + content + "EndPlugin\n";
        parsed = parseSceneText(text, "test.scene", {"Plugin"});
        SceneLoadState state(host, parsed[0], "test.scene", {}, "pexil_node");
        host.trace().clear();
        EXPECT_EQ(filter.inst.load(instance, state.record()), nullptr);
        state.finish();
        loadError = state.error() ? state.error()->what() : "";
        return editorCalls();
    }
    std::string save(void* instance) {
        SceneWriter w;
        SceneSaveState state(host, w);
        host.trace().clear();
        EXPECT_EQ(filter.inst.save(instance, state.record()), nullptr);
        state.finish();
        return w.text();
    }
    // What the editor's preview callback hands back, from a non-zero start.
    static std::array<double, 3> preview(NodeEditor& e) {
        std::array<double, 3> rgb = {9, 9, 9};
        e.rootDesc().preview(reinterpret_cast<NodeEditorID>(&e), nullptr, rgb.data());
        return rgb;
    }
    std::vector<SceneNode> parsed;
    std::string loadError;
};

TEST_F(FilterInstanceTest, CreateMakesTheEditorWithItsRootInput) {
    void* inst = create();
    ASSERT_NE(inst, nullptr);
    const std::string data = PointerText(inst);
    EXPECT_EQ(
        host.trace().texts(),
        (std::vector<std::string>{
            "LW Item Info 4 1 first(2, null)",
            "LW Item Info 4 14 channel group(camera1)",
            "NodeEditorFuncs 1 create(lumnet, Node pixelfilter, query, preview, " + data + ")",
            "NodeEditorFuncs 12 set channel group(editor1, group:Camera)",
            "NodeEditorFuncs 23 root node(editor1)",
            "NodeEditorFuncs 4 set callback(editor1, callback)",
            "NodeEditorFuncs 11 add input(editor1, 1, Output, null)",
            "NodeFuncs 5 set colour(editor1.root, 10, 10, 10)",
            "NodeEditorFuncs 20 notify(editor1, 4)",
        }));
    NodeEditor& e = *lastEditor();
    EXPECT_EQ(e.userData, inst);
    EXPECT_NE(e.rootDesc().query, nullptr);
    EXPECT_NE(e.rootDesc().preview, nullptr);
    const HostNodeRootDesc& r = e.rootDesc();
    for (const void* m :
         {r.reserved1, r.reserved2, r.reserved3, r.reserved4, r.reserved6, r.reserved8})
        EXPECT_EQ(m, nullptr);
    EXPECT_NE(e.callback, nullptr);
    EXPECT_EQ(as(inst)->rootNode, reinterpret_cast<NodeID>(&e.root()));
    EXPECT_EQ(as(inst)->rootInput, reinterpret_cast<NodeInputID>(e.root().input("Output")));
    EXPECT_EQ(e.root().color, (std::array<int, 3>{10, 10, 10}));

    // Zero-filled apart from what create stored.
    FilterInstance expected{};
    expected.rootNode = as(inst)->rootNode;
    expected.rootInput = as(inst)->rootInput;
    expected.nextLive = as(inst)->nextLive;
    EXPECT_EQ(std::memcmp(inst, &expected, sizeof expected), 0);
    destroy(inst);
}

TEST_F(FilterInstanceTest, ARefusedEditorFailsCreateWithItsText) {
    void* first = create();
    host.config.refuseEditor = true;
    HostError error = nullptr;
    EXPECT_EQ(create(&error), nullptr);
    EXPECT_STREQ(error, "Node editor creation failed!");
    EXPECT_EQ(activateNode(), kActivateNoEditor);  // the module holds no editor now
    destroy(first);
}

TEST_F(FilterInstanceTest, DescribeAndFlagsAreTheSameForEveryInstance) {
    void* a = create();
    void* b = create();
    for (void* inst : {a, b}) {
        EXPECT_STREQ(filter.inst.describe(inst), "pexil_nodePF");
        EXPECT_EQ(filter.inst.describe(inst), as(inst)->descLine);
        EXPECT_EQ(filter.filter.flags(inst), 0x8000000Fu);
    }
    EXPECT_EQ(filter.filter.flags(nullptr), 0x8000000Fu);
    destroy(a);
    destroy(b);
}

TEST_F(FilterInstanceTest, CopyTakesEverythingButTheCameraEvaluator) {
    void* src = create();
    void* dst = create();
    as(src)->useCameraEval = 1;
    as(src)->camera.zoom = 2.5;
    as(src)->nodalAccess.rayLength = 7.0;
    as(src)->cameraEval = reinterpret_cast<HostCameraEvaluatorID>(0x1234);
    as(dst)->cameraEval = reinterpret_cast<HostCameraEvaluatorID>(0x5678);
    const std::size_t editors = host.editors().size();

    EXPECT_EQ(filter.inst.copy(dst, src), nullptr);
    EXPECT_EQ(as(dst)->rootInput, as(src)->rootInput);
    EXPECT_EQ(as(dst)->rootNode, as(src)->rootNode);
    EXPECT_EQ(as(dst)->useCameraEval, 1);
    EXPECT_EQ(as(dst)->camera.zoom, 2.5);
    EXPECT_EQ(as(dst)->nodalAccess.rayLength, 7.0);
    EXPECT_EQ(as(dst)->cameraEval, reinterpret_cast<HostCameraEvaluatorID>(0x5678));
    EXPECT_STREQ(filter.inst.describe(dst), "pexil_nodePF");
    EXPECT_EQ(host.editors().size(), editors);
    as(src)->cameraEval = as(dst)->cameraEval = nullptr;
    destroy(src);
    destroy(dst);
}

TEST_F(FilterInstanceTest, CopyOntoItselfChangesNothing) {
    void* inst = create();
    as(inst)->camera.zoom = 4.0;
    std::vector<unsigned char> before(sizeof(FilterInstance));
    std::memcpy(before.data(), inst, before.size());
    EXPECT_EQ(filter.inst.copy(inst, inst), nullptr);
    EXPECT_EQ(std::memcmp(before.data(), inst, before.size()), 0);
    destroy(inst);
}

TEST_F(FilterInstanceTest, SaveWritesOneNodesBlockWithTheEditorsNetwork) {
    void* inst = create();
    NodeEditor& e = *lastEditor();
    Node& c = e.addBuiltin("Constant");
    c.inputs[0]->value = {1, 0.5, 0.25};
    e.connect(*c.output("Color"), *e.root().input("Output"));

    EXPECT_EQ(save(inst),
              "{ Nodes\n"
              "  { Node 1 Constant\n"
              "    Input Value 1 0.5 0.25\n"
              "  }\n"
              "  Connect 1 Color 0 Output\n"
              "}\n");
    EXPECT_EQ(editorCalls(), (std::vector<std::string>{"SaveState begin block(NDNO, Nodes, leaf 0)",
                                                       "NodeEditorFuncs 6 save(editor1)",
                                                       "SaveState end block(Nodes)"}));
    destroy(inst);
}

TEST_F(FilterInstanceTest, LoadReadsOnlyTheNodesBlockAndEndsEveryBlockItFinds) {
    void* inst = create();
    const auto calls = load(inst,
                            "{ Amplitude\n  1\n}\n"
                            "{ Nodes\n  { Node 1 Constant\n    Input Value 0 1 0\n  }\n"
                            "  Connect 1 Color 0 Output\n}\n"
                            "{ UseAxis\n}\n");
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "NodeEditorFuncs 21 present(editor1)",
                         "LoadState find id(NDAP)",
                         "LoadState end block(Amplitude)",
                         "LoadState find id(NDNO)",
                         "NodeEditorFuncs 7 load(editor1)",
                         "LoadState end block(Nodes)",
                         "LoadState find id(NDUA)",
                         "LoadState end block(UseAxis)",
                         "LoadState find id(0)",
                     }));
    EXPECT_EQ(loadError, "");
    NodeEditor& e = *lastEditor();
    ASSERT_EQ(e.nodes().size(), 1u);
    EXPECT_EQ(e.nodes()[0]->inputs[0]->value, (std::array<double, 3>{0, 1, 0}));
    EXPECT_EQ(e.root().input("Output")->source, e.nodes()[0]->output("Color"));
    destroy(inst);
}

TEST_F(FilterInstanceTest, LoadWithoutBlocksStillPresentsTheEditor) {
    void* inst = create();
    EXPECT_EQ(load(inst, ""), (std::vector<std::string>{"NodeEditorFuncs 21 present(editor1)",
                                                        "LoadState find id(0)"}));
    destroy(inst);
}

TEST_F(FilterInstanceTest, AnUnknownBlockIsReportedAsLost) {
    void* inst = create();
    load(inst, "{ Nodes\n}\n{ Colour\n}\n");
    EXPECT_EQ(
        loadError,
        "test.scene:4: in Plugin PixelFilterHandler 1 pexil_node: block 'Colour' is not read by "
        "pexil_node and would be lost");
    destroy(inst);
}

TEST_F(FilterInstanceTest, TheLatestCreateOwnsEveryEditorOperation) {
    void* first = create();
    void* second = create();
    lastEditor()->addBuiltin("Scalar");
    EXPECT_NE(save(first).find("Scalar"), std::string::npos);  // the second editor's network
    EXPECT_EQ(editorCalls()[1], "NodeEditorFuncs 6 save(editor2)");
    destroy(first);
    destroy(second);
}

TEST_F(FilterInstanceTest, WithoutAnEditorNoEditorOperationIsCalled) {
    void* inst = create();
    host.config.refuseEditor = true;
    ASSERT_EQ(create(), nullptr);
    host.trace().clear();

    EXPECT_EQ(load(inst, "{ Nodes\n}\n"),
              (std::vector<std::string>{"LoadState find id(NDNO)", "LoadState end block(Nodes)",
                                        "LoadState find id(0)"}));
    EXPECT_EQ(save(inst), "{ Nodes\n}\n");
    host.trace().clear();
    EXPECT_EQ(filter.rend.init(inst, 0), nullptr);
    EXPECT_EQ(filter.rend.newTime(inst, 1, 0.0), nullptr);
    filter.rend.cleanup(inst);
    EXPECT_TRUE(host.trace().texts(kNodeEditorFuncsName).empty());
    destroy(inst);
}

TEST_F(FilterInstanceTest, EditorCallbacksReadTheUserData) {
    void* inst = create();
    NodeEditor& e = *lastEditor();
    const auto id = reinterpret_cast<NodeEditorID>(&e);
    Node& c = e.addBuiltin("Constant");
    c.inputs[0]->value = {0.25, 0.5, 0.75};
    e.connect(*c.output("Color"), *e.root().input("Output"));

    host.trace().clear();
    EXPECT_EQ(e.rootDesc().query(id), 0);
    e.callback(id);
    EXPECT_EQ(preview(e), (std::array<double, 3>{0.25, 0.5, 0.75}));
    EXPECT_EQ(host.trace().texts(kNodeEditorFuncsName),
              (std::vector<std::string>{"NodeEditorFuncs 15 get user data(editor1)",
                                        "NodeEditorFuncs 15 get user data(editor1)",
                                        "NodeEditorFuncs 15 get user data(editor1)"}));
    destroy(inst);
}

TEST_F(FilterInstanceTest, DestroyClearsTheEditorsUserDataSoCallbacksSeeNoInstance) {
    void* inst = create();
    NodeEditor& e = *lastEditor();
    const auto id = reinterpret_cast<NodeEditorID>(&e);
    destroy(inst);
    EXPECT_EQ(e.userData, nullptr);
    EXPECT_EQ(e.rootDesc().query(id), 0);
    e.callback(id);
    EXPECT_EQ(preview(e), (std::array<double, 3>{0, 0, 0}));  // black, not freed memory
}

TEST_F(FilterInstanceTest, DestroyOfAnotherInstanceKeepsTheUserData) {
    void* a = create();
    void* b = create();  // editor2 names b
    destroy(a);
    EXPECT_EQ(lastEditor()->userData, b);
    destroy(b);
}

TEST_F(FilterInstanceTest, DestroyOfNullDoesNothing) {
    destroy(nullptr);
    EXPECT_TRUE(host.trace().entries().empty());
}

TEST_F(FilterInstanceTest, PreviewOfAnUnconnectedRootIsBlack) {
    void* inst = create();
    EXPECT_EQ(preview(*lastEditor()), (std::array<double, 3>{0, 0, 0}));
    destroy(inst);
}

}  // namespace
}  // namespace pexil::host::testing
