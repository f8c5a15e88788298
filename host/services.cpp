// Every service operation the host offers. Each one records itself in the
// current host's trace, checks the handles it is given, and never throws.
#include "host/services.h"

#include <cmath>
#include <cstring>
#include <string>

#include "host/host.h"
#include "host/network_eval.h"
#include "host/network_graph.h"
#include "host/network_io.h"
#include "sdk/node.h"
#include "sdk/pixel.h"
#include "sdk/services.h"

namespace pexil::host::services {
namespace {

Host& H() {
    return *Host::current();
}

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}
std::string Int(long long v) {
    return std::to_string(v);
}
std::string Name(const void* handle) {
    return H().handleName(handle);
}
std::string Text(const char* s) {
    return s == nullptr ? "null" : s;
}

void Record(const char* service, int op, const char* role, std::vector<std::string> args) {
    H().trace().add({service, op, role, std::move(args)});
}
// Records a call when the host traces; the arguments are not even formed otherwise.
#define TRACE(service, op, role, ...)                                 \
    do {                                                              \
        if (H().config.trace) Record(service, op, role, __VA_ARGS__); \
    } while (0)

// Runs an operation's body; an exception inside the host becomes a misuse
// report and the operation's neutral result, never a throw into the module.
template <typename R, typename F>
R Guard(const char* what, R fallback, F&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        H().reportMisuse(std::string(what) + ": " + e.what());
    } catch (...) {
        H().reportMisuse(std::string(what) + ": failed");
    }
    return fallback;
}
template <typename F>
void GuardVoid(const char* what, F&& body) noexcept {
    Guard<int>(what, 0, [&] {
        body();
        return 0;
    });
}

// A reserved position that a module called anyway.
template <int Service, int Op>
void PX_CDECL Reserved() noexcept {
    static const char* const names[] = {
        kNodeEditorFuncsName, kNodeInputFuncsName, kNodeOutputFuncsName, kNodeFuncsName,
        kEnvelopeFuncsName,   kItemInfoName,       kCameraInfoName,      kCameraEvalFuncsName,
        kChannelInfoName,     kInstanceUpdateName, kMessageFuncsName,    kXPanelFuncsName,
        kImageUtilName,
    };
    H().reportMisuse(std::string(names[Service]) + " operation " + std::to_string(Op) +
                     " is not offered by this host");
}

// ---- "NodeEditorFuncs" ----
constexpr const char* kEd = kNodeEditorFuncsName;

NodeEditorID PX_CDECL EdCreate(const char* name, const char* title, const HostNodeRootDesc* root,
                               void* data) noexcept {
    return Guard<NodeEditorID>("NodeEditorFuncs 1 create", nullptr, [&]() -> NodeEditorID {
        TRACE(kEd, 1, "create",
              {Text(name), Text(title), root && root->query ? "query" : "no query",
               root && root->preview ? "preview" : "no preview", PointerText(data)});
        if (name == nullptr || title == nullptr || root == nullptr) {
            H().reportMisuse(
                "NodeEditorFuncs 1 create: name, title and root description are required");
            return nullptr;
        }
        if (H().config.refuseEditor) return nullptr;
        return reinterpret_cast<NodeEditorID>(H().makeEditor(name, title, *root, data));
    });
}

void PX_CDECL EdSetCallback(NodeEditorID id, HostEditorCallbackFn fn) noexcept {
    GuardVoid("NodeEditorFuncs 4 set callback", [&] {
        TRACE(kEd, 4, "set callback", {Name(id), fn ? "callback" : "null"});
        if (NodeEditor* e = H().editor(id, "NodeEditorFuncs 4 set callback")) e->callback = fn;
    });
}

int32_t PX_CDECL EdSave(NodeEditorID id, const HostSaveState* save) noexcept {
    return Guard<int32_t>("NodeEditorFuncs 6 save", 0, [&]() -> int32_t {
        TRACE(kEd, 6, "save", {Name(id)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 6 save");
        return e != nullptr && SaveNetwork(H(), *e, save) ? 1 : 0;
    });
}

int32_t PX_CDECL EdLoad(NodeEditorID id, const HostLoadState* load) noexcept {
    return Guard<int32_t>("NodeEditorFuncs 7 load", 0, [&]() -> int32_t {
        TRACE(kEd, 7, "load", {Name(id)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 7 load");
        return e != nullptr && LoadNetwork(H(), *e, load) ? 1 : 0;
    });
}

int32_t PX_CDECL EdInit(NodeEditorID id, int32_t mode) noexcept {
    return Guard<int32_t>("NodeEditorFuncs 8 init", 0, [&]() -> int32_t {
        TRACE(kEd, 8, "init", {Name(id), Int(mode)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 8 init");
        if (e == nullptr) return 0;
        ++e->rendering;
        return 1;
    });
}

int32_t PX_CDECL EdNewTime(NodeEditorID id, int32_t frame, double time) noexcept {
    return Guard<int32_t>("NodeEditorFuncs 9 new time", 0, [&]() -> int32_t {
        TRACE(kEd, 9, "new time", {Name(id), Int(frame), Num(time)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 9 new time");
        if (e == nullptr) return 0;
        if (e->rendering == 0) {
            H().reportMisuse("NodeEditorFuncs 9 new time: " + Name(id) +
                             " is not rendering (operation 8 comes first)");
            return 0;
        }
        return 1;
    });
}

void PX_CDECL EdCleanup(NodeEditorID id) noexcept {
    GuardVoid("NodeEditorFuncs 10 cleanup", [&] {
        TRACE(kEd, 10, "cleanup", {Name(id)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 10 cleanup");
        if (e == nullptr) return;
        if (e->rendering == 0)
            H().reportMisuse("NodeEditorFuncs 10 cleanup: " + Name(id) + " is not rendering");
        else
            --e->rendering;
    });
}

NodeInputID PX_CDECL EdAddInput(NodeEditorID id, int32_t type, const char* name,
                                HostInputEventFn event) noexcept {
    return Guard<NodeInputID>("NodeEditorFuncs 11 add input", nullptr, [&]() -> NodeInputID {
        TRACE(kEd, 11, "add input", {Name(id), Int(type), Text(name), event ? "event" : "null"});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 11 add input");
        if (e == nullptr) return nullptr;
        if (type != kConnectionColor && type != kConnectionScalar) {
            H().reportMisuse("NodeEditorFuncs 11 add input: connection type " + Int(type) +
                             " is unknown");
            return nullptr;
        }
        if (name == nullptr || e->root().input(name) != nullptr) {
            H().reportMisuse("NodeEditorFuncs 11 add input: the root already has an input named " +
                             Text(name));
            return nullptr;
        }
        NodeInput* in = e->root().addInput(type, name);
        in->event = event;
        H().registerNode(e->root());
        return reinterpret_cast<NodeInputID>(in);
    });
}

void PX_CDECL EdSetChannelGroup(NodeEditorID id, HostChannelGroupID group) noexcept {
    GuardVoid("NodeEditorFuncs 12 set channel group", [&] {
        TRACE(kEd, 12, "set channel group", {Name(id), Name(group)});
        if (NodeEditor* e = H().editor(id, "NodeEditorFuncs 12 set channel group"))
            e->channelGroup = group;
    });
}

void PX_CDECL EdSetUserData(NodeEditorID id, void* data) noexcept {
    GuardVoid("NodeEditorFuncs 14 set user data", [&] {
        TRACE(kEd, 14, "set user data", {Name(id), PointerText(data)});
        if (NodeEditor* e = H().editor(id, "NodeEditorFuncs 14 set user data")) e->userData = data;
    });
}

void* PX_CDECL EdGetUserData(NodeEditorID id) noexcept {
    return Guard<void*>("NodeEditorFuncs 15 get user data", nullptr, [&]() -> void* {
        TRACE(kEd, 15, "get user data", {Name(id)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 15 get user data");
        return e != nullptr ? e->userData : nullptr;
    });
}

void PX_CDECL EdNotify(NodeEditorID id, int32_t event) noexcept {
    GuardVoid("NodeEditorFuncs 20 notify", [&] {
        TRACE(kEd, 20, "notify", {Name(id), Int(event)});
        if (NodeEditor* e = H().editor(id, "NodeEditorFuncs 20 notify"))
            e->notifications.push_back(event);
    });
}

void PX_CDECL EdPresent(NodeEditorID id) noexcept {
    GuardVoid("NodeEditorFuncs 21 present", [&] {
        TRACE(kEd, 21, "present", {Name(id)});
        if (NodeEditor* e = H().editor(id, "NodeEditorFuncs 21 present")) {
            ++e->presented;
            if (H().config.presentTo != nullptr)
                *H().config.presentTo
                    << (H().config.presentAsDot ? NetworkDot(*e) : NetworkText(*e));
        }
    });
}

int32_t PX_CDECL EdIsReady(NodeEditorID id) noexcept {
    return Guard<int32_t>("NodeEditorFuncs 22 is ready", 0, [&]() -> int32_t {
        TRACE(kEd, 22, "is ready", {Name(id)});
        if (H().editor(id, "NodeEditorFuncs 22 is ready") == nullptr) return 0;
        return H().config.editorReady ? 1 : 0;
    });
}

NodeID PX_CDECL EdRootNode(NodeEditorID id) noexcept {
    return Guard<NodeID>("NodeEditorFuncs 23 root node", nullptr, [&]() -> NodeID {
        TRACE(kEd, 23, "root node", {Name(id)});
        NodeEditor* e = H().editor(id, "NodeEditorFuncs 23 root node");
        return e != nullptr ? reinterpret_cast<NodeID>(&e->root()) : nullptr;
    });
}

const HostNodeEditorFuncs kNodeEditorFuncs = {
    EdCreate,        Reserved<0, 2>,  Reserved<0, 3>,  EdSetCallback,
    Reserved<0, 5>,  EdSave,          EdLoad,          EdInit,
    EdNewTime,       EdCleanup,       EdAddInput,      EdSetChannelGroup,
    Reserved<0, 13>, EdSetUserData,   EdGetUserData,   Reserved<0, 16>,
    Reserved<0, 17>, Reserved<0, 18>, Reserved<0, 19>, EdNotify,
    EdPresent,       EdIsReady,       EdRootNode,
};

// ---- "NodeInputFuncs" ----
int32_t PX_CDECL InEvaluate(NodeInputID id, HostNodalAccess* nodal, void* value) noexcept {
    return Guard<int32_t>("NodeInputFuncs 3 evaluate", 0, [&]() -> int32_t {
        TRACE(kNodeInputFuncsName, 3, "evaluate", {Name(id)});
        NodeInput* in = H().input(id, "NodeInputFuncs 3 evaluate");
        if (in == nullptr || value == nullptr) return 0;
        const std::array<double, 3> v = EvaluateInput(*in, nodal);
        std::memcpy(value, v.data(), (in->type == kConnectionColor ? 3 : 1) * sizeof(double));
        return 1;
    });
}

int32_t PX_CDECL InConnected(NodeInputID id) noexcept {
    return Guard<int32_t>("NodeInputFuncs 4 connected", 0, [&]() -> int32_t {
        TRACE(kNodeInputFuncsName, 4, "connected", {Name(id)});
        NodeInput* in = H().input(id, "NodeInputFuncs 4 connected");
        return in != nullptr && in->source != nullptr ? 1 : 0;
    });
}

const HostNodeInputFuncs kNodeInputFuncs = {Reserved<1, 1>, Reserved<1, 2>, InEvaluate,
                                            InConnected};

// ---- "NodeOutputFuncs" ----
NodeOutputID PX_CDECL OutCreate(NodeID id, int32_t type, const char* name) noexcept {
    return Guard<NodeOutputID>("NodeOutputFuncs 1 create", nullptr, [&]() -> NodeOutputID {
        TRACE(kNodeOutputFuncsName, 1, "create", {Name(id), Int(type), Text(name)});
        Node* n = H().node(id, "NodeOutputFuncs 1 create");
        if (n == nullptr) return nullptr;
        if (name == nullptr || (type != kConnectionColor && type != kConnectionScalar)) {
            H().reportMisuse("NodeOutputFuncs 1 create: an output needs a name and a known type");
            return nullptr;
        }
        NodeOutput* out = n->addOutput(type, name);
        H().registerNode(*n);
        return reinterpret_cast<NodeOutputID>(out);
    });
}

int32_t PX_CDECL OutSetValue(NodeValue value, void* data) noexcept {
    return Guard<int32_t>("NodeOutputFuncs 3 set value", 0, [&]() -> int32_t {
        TRACE(kNodeOutputFuncsName, 3, "set value", {PointerText(value)});
        auto* slot = reinterpret_cast<ValueSlot*>(value);
        if (slot == nullptr || data == nullptr) {
            H().reportMisuse("NodeOutputFuncs 3 set value: no value handle or no value");
            return 0;
        }
        std::memcpy(slot->value.data(), data,
                    (slot->type == kConnectionColor ? 3 : 1) * sizeof(double));
        slot->set = true;
        return 1;
    });
}

int32_t PX_CDECL OutNumber(NodeID id, NodeOutputID output) noexcept {
    return Guard<int32_t>("NodeOutputFuncs 11 number", 0, [&]() -> int32_t {
        TRACE(kNodeOutputFuncsName, 11, "number", {Name(id), Name(output)});
        Node* n = H().node(id, "NodeOutputFuncs 11 number");
        if (n == nullptr) return 0;
        if (H().config.outputNumber) return *H().config.outputNumber;
        for (const auto& out : n->outputs)
            if (reinterpret_cast<NodeOutputID>(out.get()) == output) return out->number;
        H().reportMisuse("NodeOutputFuncs 11 number: " + Name(output) + " is not an output of " +
                         Name(id));
        return 0;
    });
}

const HostNodeOutputFuncs kNodeOutputFuncs = {
    OutCreate,      Reserved<2, 2>, OutSetValue,    Reserved<2, 4>,  Reserved<2, 5>, Reserved<2, 6>,
    Reserved<2, 7>, Reserved<2, 8>, Reserved<2, 9>, Reserved<2, 10>, OutNumber,
};

// ---- "NodeFuncs" ----
HostChannelGroupID PX_CDECL NodeChannelGroup(NodeID id) noexcept {
    return Guard<HostChannelGroupID>(
        "NodeFuncs 3 channel group", nullptr, [&]() -> HostChannelGroupID {
            TRACE(kNodeFuncsName, 3, "channel group", {Name(id)});
            Node* n = H().node(id, "NodeFuncs 3 channel group");
            if (n == nullptr) return nullptr;
            if (n->group == nullptr)
                n->group = H().makeGroup(n->editor->channelGroup, H().handleName(n));
            return n->group;
        });
}

void PX_CDECL NodeSetColor(NodeID id, int32_t r, int32_t g, int32_t b) noexcept {
    GuardVoid("NodeFuncs 5 set colour", [&] {
        TRACE(kNodeFuncsName, 5, "set colour", {Name(id), Int(r), Int(g), Int(b)});
        if (Node* n = H().node(id, "NodeFuncs 5 set colour")) n->color = {r, g, b};
    });
}

const HostNodeFuncs kNodeFuncs = {Reserved<3, 1>, Reserved<3, 2>, NodeChannelGroup, Reserved<3, 4>,
                                  NodeSetColor};

// ---- "Animation Envelopes" ----
HostChannelGroupID PX_CDECL EnvCreateGroup(HostChannelGroupID parent, const char* name) noexcept {
    return Guard<HostChannelGroupID>(
        "Animation Envelopes 3 create group", nullptr, [&]() -> HostChannelGroupID {
            TRACE(kEnvelopeFuncsName, 3, "create group", {Name(parent), Text(name)});
            if (name == nullptr) {
                H().reportMisuse("Animation Envelopes 3 create group: no name");
                return nullptr;
            }
            return H().makeGroup(parent, name);
        });
}

const HostEnvelopeFuncs kEnvelopeFuncs = {Reserved<4, 1>, Reserved<4, 2>, EnvCreateGroup};

// ---- "LW Item Info 4" ----
HostItemID PX_CDECL ItemFirst(int32_t type, HostItemID other) noexcept {
    return Guard<HostItemID>("LW Item Info 4 1 first", nullptr, [&]() -> HostItemID {
        TRACE(kItemInfoName, 1, "first", {Int(type), Name(other)});
        if (type == kItemCamera && !H().cameras().empty()) return H().cameraItem(0);
        return nullptr;
    });
}

void PX_CDECL ItemParam(HostItemID item, int32_t code, double time, double* vec) noexcept {
    GuardVoid("LW Item Info 4 10 parameter", [&] {
        TRACE(kItemInfoName, 10, "parameter", {Name(item), Int(code), Num(time)});
        const HostCamera* cam = H().camera(item, "LW Item Info 4 10 parameter");
        if (cam == nullptr || vec == nullptr) return;
        const CameraState c = cam->at(time);
        const double* src = nullptr;
        switch (code) {
            case kItemParamRight:
                src = c.right.data();
                break;
            case kItemParamUp:
                src = c.up.data();
                break;
            case kItemParamForward:
                src = c.forward.data();
                break;
            case kItemParamFilmOffset:
                src = c.filmOffset.data();
                break;
            case kItemParamPosition:
                src = c.position.data();
                break;
            default:
                H().reportMisuse("LW Item Info 4 10 parameter: code " + Int(code) + " is unknown");
                return;
        }
        std::memcpy(vec, src, 3 * sizeof(double));
    });
}

HostChannelGroupID PX_CDECL ItemChannelGroup(HostItemID item) noexcept {
    return Guard<HostChannelGroupID>(
        "LW Item Info 4 14 channel group", nullptr, [&]() -> HostChannelGroupID {
            TRACE(kItemInfoName, 14, "channel group", {Name(item)});
            const HostCamera* cam = H().camera(item, "LW Item Info 4 14 channel group");
            return cam != nullptr ? cam->group : nullptr;
        });
}

const HostItemInfo kItemInfo = {
    ItemFirst,       Reserved<5, 2>,  Reserved<5, 3>,  Reserved<5, 4>,   Reserved<5, 5>,
    Reserved<5, 6>,  Reserved<5, 7>,  Reserved<5, 8>,  Reserved<5, 9>,   ItemParam,
    Reserved<5, 11>, Reserved<5, 12>, Reserved<5, 13>, ItemChannelGroup,
};

// ---- "LW Camera Info 5" ----
double PX_CDECL CamZoom(HostItemID item, double time) noexcept {
    return Guard<double>("LW Camera Info 5 1 zoom factor", 0.0, [&] {
        TRACE(kCameraInfoName, 1, "zoom factor", {Name(item), Num(time)});
        const HostCamera* cam = H().camera(item, "LW Camera Info 5 1 zoom factor");
        return cam != nullptr ? cam->at(time).zoom : 0.0;
    });
}

uint32_t PX_CDECL CamFlags(HostItemID item) noexcept {
    return Guard<uint32_t>("LW Camera Info 5 7 flags", 0u, [&] {
        TRACE(kCameraInfoName, 7, "flags", {Name(item)});
        const HostCamera* cam = H().camera(item, "LW Camera Info 5 7 flags");
        return cam != nullptr ? cam->flags : 0u;
    });
}

double PX_CDECL CamPixelAspect(HostItemID item, double time) noexcept {
    return Guard<double>("LW Camera Info 5 9 pixel aspect", 0.0, [&] {
        TRACE(kCameraInfoName, 9, "pixel aspect", {Name(item), Num(time)});
        const HostCamera* cam = H().camera(item, "LW Camera Info 5 9 pixel aspect");
        return cam != nullptr ? cam->at(time).pixelAspect : 0.0;
    });
}

const HostCameraInfo kCameraInfo = {
    CamZoom,        Reserved<6, 2>, Reserved<6, 3>, Reserved<6, 4>, Reserved<6, 5>,
    Reserved<6, 6>, CamFlags,       Reserved<6, 8>, CamPixelAspect,
};

// ---- "LW Camera Evaluation Funcs 2" ----
std::vector<std::unique_ptr<CameraEvaluator>>& Evaluators() {
    return H().evaluators;
}
CameraEvaluator* FindEvaluator(HostCameraEvaluatorID id, const char* operation) {
    for (const auto& e : Evaluators())
        if (reinterpret_cast<HostCameraEvaluatorID>(e.get()) == id && e->live) return e.get();
    H().reportMisuse(std::string(operation) + ": " + Name(id) + " is not a live camera evaluator");
    return nullptr;
}

HostCameraEvaluatorID PX_CDECL EvCreate(HostItemID camera) noexcept {
    return Guard<HostCameraEvaluatorID>(
        "LW Camera Evaluation Funcs 2 1 create", nullptr, [&]() -> HostCameraEvaluatorID {
            TRACE(kCameraEvalFuncsName, 1, "create", {Name(camera)});
            if (H().camera(camera, "LW Camera Evaluation Funcs 2 1 create") == nullptr)
                return nullptr;
            if (H().config.refuseCameraEvaluator) return nullptr;
            Evaluators().push_back(
                std::make_unique<CameraEvaluator>(CameraEvaluator{camera, true, 0.0}));
            auto id = reinterpret_cast<HostCameraEvaluatorID>(Evaluators().back().get());
            H().nameHandle(id, "evaluator" + std::to_string(Evaluators().size()));
            return id;
        });
}

void PX_CDECL EvDestroy(HostCameraEvaluatorID id) noexcept {
    GuardVoid("LW Camera Evaluation Funcs 2 2 destroy", [&] {
        TRACE(kCameraEvalFuncsName, 2, "destroy", {Name(id)});
        if (CameraEvaluator* e = FindEvaluator(id, "LW Camera Evaluation Funcs 2 2 destroy"))
            e->live = false;
    });
}

HostError PX_CDECL EvInit(HostCameraEvaluatorID id, int32_t mode) noexcept {
    return Guard<HostError>("LW Camera Evaluation Funcs 2 3 init", nullptr, [&]() -> HostError {
        TRACE(kCameraEvalFuncsName, 3, "init", {Name(id), Int(mode)});
        FindEvaluator(id, "LW Camera Evaluation Funcs 2 3 init");
        return nullptr;
    });
}

void PX_CDECL EvCleanup(HostCameraEvaluatorID id) noexcept {
    GuardVoid("LW Camera Evaluation Funcs 2 4 cleanup", [&] {
        TRACE(kCameraEvalFuncsName, 4, "cleanup", {Name(id)});
        FindEvaluator(id, "LW Camera Evaluation Funcs 2 4 cleanup");
    });
}

HostError PX_CDECL EvNewTime(HostCameraEvaluatorID id, int32_t frame, double time) noexcept {
    return Guard<HostError>("LW Camera Evaluation Funcs 2 5 new time", nullptr, [&]() -> HostError {
        TRACE(kCameraEvalFuncsName, 5, "new time", {Name(id), Int(frame), Num(time)});
        if (CameraEvaluator* e = FindEvaluator(id, "LW Camera Evaluation Funcs 2 5 new time"))
            e->time = time;
        return nullptr;
    });
}

int32_t PX_CDECL EvRay(HostCameraEvaluatorID id, double px, double py, double lx, double ly,
                       double fraction, HostCameraRay* ray) noexcept {
    return Guard<int32_t>("LW Camera Evaluation Funcs 2 8 ray", 0, [&]() -> int32_t {
        TRACE(kCameraEvalFuncsName, 8, "ray",
              {Name(id), Num(px), Num(py), Num(lx), Num(ly), Num(fraction)});
        CameraEvaluator* e = FindEvaluator(id, "LW Camera Evaluation Funcs 2 8 ray");
        if (e == nullptr || ray == nullptr) return 0;
        const HostCamera* cam = H().camera(e->camera, "LW Camera Evaluation Funcs 2 8 ray");
        if (cam == nullptr) return 0;
        const HostSceneInfo& si = H().sceneInfo();
        cam->ray(px, py, si.frameWidth, si.frameHeight, e->time + fraction / si.framesPerSecond,
                 ray->origin, ray->direction);
        for (double& f : ray->filter) f = 1.0;
        return 1;
    });
}

const HostCameraEvalFuncs kCameraEvalFuncs = {EvCreate,  EvDestroy,      EvInit,         EvCleanup,
                                              EvNewTime, Reserved<7, 6>, Reserved<7, 7>, EvRay};

// ---- Services acquired but never called ----
const HostChannelInfo kChannelInfo = {Reserved<8, 1>};
const HostInstanceUpdate kInstanceUpdate = {Reserved<9, 1>};
const HostMessageFuncs kMessageFuncs = {Reserved<10, 1>};
const HostXPanelFuncs kXPanelFuncs = {Reserved<11, 1>};
const HostImageUtil kImageUtil = {Reserved<12, 1>};

}  // namespace

HostItemID PX_CDECL RenderCamera(double time) {
    return Guard<HostItemID>("LW Scene Info 4 render camera", nullptr, [&]() -> HostItemID {
        TRACE(kSceneInfoName, 0, "render camera", {Num(time)});
        return H().cameras().empty() ? nullptr : H().cameraItem(H().renderCameraIndex(time));
    });
}

void* Table(const char* name) {
    struct Entry {
        const char* name;
        const void* table;
    };
    const Entry entries[] = {
        {kNodeEditorFuncsName, &kNodeEditorFuncs},
        {kNodeInputFuncsName, &kNodeInputFuncs},
        {kNodeOutputFuncsName, &kNodeOutputFuncs},
        {kNodeFuncsName, &kNodeFuncs},
        {kEnvelopeFuncsName, &kEnvelopeFuncs},
        {kItemInfoName, &kItemInfo},
        {kCameraInfoName, &kCameraInfo},
        {kCameraEvalFuncsName, &kCameraEvalFuncs},
        {kChannelInfoName, &kChannelInfo},
        {kInstanceUpdateName, &kInstanceUpdate},
        {kMessageFuncsName, &kMessageFuncs},
        {kXPanelFuncsName, &kXPanelFuncs},
        {kImageUtilName, &kImageUtil},
        {kSceneInfoName, &H().sceneInfo()},
    };
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0) return const_cast<void*>(e.table);
    return nullptr;
}

}  // namespace pexil::host::services
