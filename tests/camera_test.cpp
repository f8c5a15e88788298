// Frame camera setup: what init, new time and cleanup ask of the host, in
// which order, and what the instance's camera frame holds afterwards.
#include <cmath>
#include <string>
#include <vector>

#include "module_fixture.h"

namespace pexil::host::testing {
namespace {

class CameraSetupTest : public InstanceTest {
  protected:
    void SetUp() override {
        InstanceTest::SetUp();
        host.trace().clear();
    }
    HostError init(int32_t mode = 0) { return filter.rend.init(inst, mode); }
    HostError newTime(int32_t frame, double time) { return filter.rend.newTime(inst, frame, time); }
    void cleanup() { filter.rend.cleanup(inst); }
    CameraState& camera(std::size_t i = 0) { return host.cameras()[i].state; }
    const CameraFrame& frame() { return as(inst)->camera; }
    static std::vector<double> v3(const double* v) { return {v[0], v[1], v[2]}; }
};

TEST_F(CameraSetupTest, ARenderCallsTheHostInThisOrder) {
    EXPECT_EQ(init(2), nullptr);
    EXPECT_EQ(newTime(3, 0.125), nullptr);
    cleanup();
    EXPECT_EQ(host.trace().texts(),
              (std::vector<std::string>{
                  "LW Scene Info 4 render camera(0)",
                  "LW Camera Evaluation Funcs 2 1 create(camera1)",
                  "LW Camera Evaluation Funcs 2 3 init(evaluator1, 2)",
                  "NodeEditorFuncs 8 init(editor1, 2)",
                  "NodeEditorFuncs 20 notify(editor1, 1)",
                  // new time
                  "NodeEditorFuncs 9 new time(editor1, 3, 0.125)",
                  "LW Scene Info 4 render camera(0.125)",
                  "LW Item Info 4 10 parameter(camera1, 2, 0.125)",
                  "LW Item Info 4 10 parameter(camera1, 3, 0.125)",
                  "LW Item Info 4 10 parameter(camera1, 4, 0.125)",
                  "LW Item Info 4 10 parameter(camera1, 8, 0.125)",
                  "LW Item Info 4 10 parameter(camera1, 7, 0.125)",
                  "NodeEditorFuncs 20 notify(editor1, 1)",
                  "LW Camera Info 5 7 flags(camera1)",
                  "LW Camera Evaluation Funcs 2 5 new time(evaluator1, 3, 0.125)",
                  "LW Camera Info 5 9 pixel aspect(camera1, 0.125)",
                  "LW Camera Info 5 1 zoom factor(camera1, 0.125)",
                  "NodeEditorFuncs 9 new time(editor1, 3, 0.125)",
                  "NodeEditorFuncs 20 notify(editor1, 1)",
                  // cleanup
                  "NodeEditorFuncs 10 cleanup(editor1)",
                  "LW Camera Evaluation Funcs 2 4 cleanup(evaluator1)",
                  "LW Camera Evaluation Funcs 2 2 destroy(evaluator1)",
              }));
    EXPECT_EQ(as(inst)->cameraEval, nullptr);
}

TEST_F(CameraSetupTest, EveryFrameGivesTheEditorNewTimeNotifyNewTimeNotify) {
    init();
    for (int frame = 1; frame <= 3; ++frame) {
        host.trace().clear();
        newTime(frame, frame / 24.0);
        std::vector<std::string> editorCalls;
        for (const std::string& t : host.trace().texts(kNodeEditorFuncsName))
            editorCalls.push_back(t.substr(0, t.find('(')));
        EXPECT_EQ(editorCalls, (std::vector<std::string>{
                                   "NodeEditorFuncs 9 new time", "NodeEditorFuncs 20 notify",
                                   "NodeEditorFuncs 9 new time", "NodeEditorFuncs 20 notify"}));
    }
    cleanup();
}

TEST_F(CameraSetupTest, AxesAreNormalisedOffsetAndPositionKeptAsGiven) {
    CameraState& c = camera();
    c.right = {0, 3, 4};
    c.up = {0, 0, 0};
    c.forward = {2, 0, 0};
    c.position = {1, -2, 30};
    c.filmOffset = {0.5, 3, -4};
    c.zoom = 2.5;
    c.pixelAspect = 1.2;
    host.setFrameSize(640, 480);
    init();
    newTime(1, 0.0);
    EXPECT_NEAR(frame().right[0], 0.0, 1e-15);
    EXPECT_NEAR(frame().right[1], 0.6, 1e-15);
    EXPECT_NEAR(frame().right[2], 0.8, 1e-15);
    EXPECT_EQ(v3(frame().up), (std::vector<double>{0, 0, 0}));  // a zero axis stays zero
    EXPECT_EQ(v3(frame().forward), (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(v3(frame().rayOrigin), (std::vector<double>{1, -2, 30}));
    EXPECT_EQ(v3(frame().filmOffset), (std::vector<double>{0.5, 3, -4}));
    EXPECT_EQ(frame().width, 640.0);
    EXPECT_EQ(frame().height, 480.0);
    EXPECT_EQ(frame().zoom, 2.5);
    EXPECT_EQ(frame().pixelAspect, 1.2);
    cleanup();
}

TEST_F(CameraSetupTest, OnlyBit0x80OfTheFlagsSelectsTheEvaluator) {
    init();
    const std::pair<uint32_t, int32_t> cases[] = {
        {0x0, 0}, {0x80, 1}, {0xFF, 1}, {0x7F, 0}, {0x100, 0}, {0x180, 1}, {0xFFFFFF7F, 0},
    };
    for (const auto& [flags, expected] : cases) {
        SCOPED_TRACE(flags);
        host.cameras()[0].flags = flags;
        newTime(1, 0.0);
        EXPECT_EQ(as(inst)->useCameraEval, expected);
    }
    cleanup();
}

TEST_F(CameraSetupTest, NewTimeFollowsTheCameraOfEachFrameWhileTheEvaluatorStays) {
    HostCamera& first = host.cameras()[0];
    CameraState a, b;
    a.position = {0, 0, 0};
    a.zoom = 2.0;
    b.position = {10, 0, 0};
    b.zoom = 4.0;
    b.pixelAspect = 2.0;
    first.keys = {{0.0, a}, {1.0, b}};
    HostCamera& second = host.addCamera("Second");
    second.state.position = {0, 7, 0};
    second.state.right = {0, 0, 1};
    second.flags = kCameraOwnRays;
    host.renderCameraSwitches = {{0.0, 0}, {2.0, 1}};

    init();
    const HostCameraEvaluatorID evaluator = as(inst)->cameraEval;
    newTime(12, 0.5);
    EXPECT_EQ(v3(frame().rayOrigin), (std::vector<double>{5, 0, 0}));
    EXPECT_EQ(frame().zoom, 3.0);
    EXPECT_EQ(frame().pixelAspect, 1.5);
    EXPECT_EQ(as(inst)->useCameraEval, 0);
    newTime(48, 2.0);
    EXPECT_EQ(v3(frame().rayOrigin), (std::vector<double>{0, 7, 0}));
    EXPECT_EQ(v3(frame().right), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(as(inst)->useCameraEval, 1);
    EXPECT_EQ(as(inst)->cameraEval, evaluator);  // made at init for the camera at time 0
    EXPECT_EQ(host.trace().texts(kCameraEvalFuncsName)[0],
              "LW Camera Evaluation Funcs 2 1 create(camera1)");
    cleanup();
}

TEST_F(CameraSetupTest, WithoutAnEvaluatorNoneIsUsedOrReleased) {
    host.config.refuseCameraEvaluator = true;
    init(1);
    newTime(1, 0.0);
    cleanup();
    cleanup();  // a careless host's second cleanup releases nothing either
    EXPECT_EQ(host.trace().texts(kCameraEvalFuncsName),
              std::vector<std::string>{"LW Camera Evaluation Funcs 2 1 create(camera1)"});
    // The host itself notices the unpaired cleanup reaching the editor.
    EXPECT_EQ(host.misuse(),
              std::vector<std::string>{"NodeEditorFuncs 10 cleanup: editor1 is not rendering"});
    host.clearMisuse();
}

TEST_F(CameraSetupTest, ACopyMadeDuringARenderKeepsItsOwnEvaluator) {
    void* other = create();
    init();
    filter.rend.init(other, 0);
    ASSERT_NE(as(inst)->cameraEval, as(other)->cameraEval);
    filter.inst.copy(other, inst);
    EXPECT_NE(as(inst)->cameraEval, as(other)->cameraEval);
    cleanup();
    filter.rend.cleanup(other);  // no evaluator is released twice: the host would say so
    destroy(other);
}

}  // namespace
}  // namespace pexil::host::testing
