#include "host/host.h"

#include <cstring>

#include "host/services.h"

namespace pexil::host {
namespace {

Host* gCurrent = nullptr;

void* PX_CDECL GlobalLookup(const char* name, int32_t use) {
    Host* h = Host::current();
    if (h == nullptr) return nullptr;
    if (use != 0)
        h->reportMisuse("global lookup of " + std::string(name ? name : "(null)") +
                        ": second argument " + std::to_string(use) + ", expected 0");
    return h->lookup(name);
}

constexpr uintptr_t kCameraItemStep = 16;

}  // namespace

Host::Host() {
    if (gCurrent != nullptr) throw std::logic_error("another Host is still current");
    gCurrent = this;
    cameras_.push_back(HostCamera{});
    cameras_.back().name = "Camera";
    cameras_.back().group = makeGroup(nullptr, "Camera");
    nameHandle(cameraItem(0), "camera1");
    sceneInfo_.name = "untitled";
    sceneInfo_.fileName = "";
    sceneInfo_.frameStart = 1;
    sceneInfo_.frameEnd = 1;
    sceneInfo_.frameStep = 1;
    sceneInfo_.framesPerSecond = 24.0;
    sceneInfo_.numCameras = 1;
    sceneInfo_.aaSamples = 1;
    sceneInfo_.renderCamera = services::RenderCamera;
    setFrameSize(640, 480);
}

Host::~Host() {
    gCurrent = nullptr;
}

Host* Host::current() {
    return gCurrent;
}

HostGlobalFn Host::globalFunction() {
    return GlobalLookup;
}

void* Host::lookup(const char* name) {
    if (name == nullptr) {
        reportMisuse("global lookup with a null name");
        return nullptr;
    }
    void* table = services::Table(name);
    const bool withheld = table != nullptr && config.withheld.count(name) != 0;
    trace_.add({"global",
                0,
                "lookup",
                {name, table == nullptr ? "unknown"
                       : withheld       ? "withheld"
                                        : "offered"}});
    return withheld ? nullptr : table;
}

std::string Host::handleName(const void* handle) const {
    if (handle == nullptr) return "null";
    auto it = handleNames_.find(handle);
    return it != handleNames_.end() ? it->second : PointerText(handle);
}

NodeEditor* Host::editor(NodeEditorID id, const char* operation) {
    for (const auto& e : editors_)
        if (reinterpret_cast<NodeEditorID>(e.get()) == id) return e.get();
    reportMisuse(std::string(operation) + ": " + handleName(id) + " is not a node editor");
    return nullptr;
}

NodeEditor* Host::makeEditor(const char* name, const char* title, const HostNodeRootDesc& root,
                             void* userData) {
    std::string handle = "editor" + std::to_string(editors_.size() + 1);
    editors_.push_back(std::make_unique<NodeEditor>(handle, name, title, root, userData));
    NodeEditor* e = editors_.back().get();
    nameHandle(e, handle);
    registerNode(e->root());
    return e;
}

void Host::registerNode(Node& n) {
    const std::string base = n.editor->handleName() +
                             (n.id == 0 ? std::string(".root") : ".node" + std::to_string(n.id));
    nameHandle(&n, base);
    for (const auto& in : n.inputs) nameHandle(in.get(), base + "." + in->name);
    for (const auto& out : n.outputs) nameHandle(out.get(), base + "." + out->name);
}

Node* Host::node(NodeID id, const char* operation) {
    for (const auto& e : editors_) {
        if (reinterpret_cast<NodeID>(&e->root()) == id) return &e->root();
        for (const auto& n : e->nodes())
            if (reinterpret_cast<NodeID>(n.get()) == id) return n.get();
    }
    reportMisuse(std::string(operation) + ": " + handleName(id) + " is not a node");
    return nullptr;
}

NodeInput* Host::input(NodeInputID id, const char* operation) {
    auto search = [id](Node& n) -> NodeInput* {
        for (const auto& in : n.inputs)
            if (reinterpret_cast<NodeInputID>(in.get()) == id) return in.get();
        return nullptr;
    };
    for (const auto& e : editors_) {
        if (NodeInput* in = search(e->root())) return in;
        for (const auto& n : e->nodes())
            if (NodeInput* in = search(*n)) return in;
    }
    reportMisuse(std::string(operation) + ": " + handleName(id) + " is not a node input");
    return nullptr;
}

HostChannelGroupID Host::makeGroup(HostChannelGroupID parent, const std::string& name) {
    std::string path = parent == nullptr ? name : groupName(parent) + "/" + name;
    groups_.push_back(std::make_unique<std::string>(path));
    auto id = reinterpret_cast<HostChannelGroupID>(groups_.back().get());
    nameHandle(id, "group:" + path);
    return id;
}

const std::string& Host::groupName(HostChannelGroupID group) const {
    static const std::string none;
    for (const auto& g : groups_)
        if (reinterpret_cast<HostChannelGroupID>(g.get()) == group) return *g;
    return none;
}

HostItemID Host::cameraItem(std::size_t index) const {
    return reinterpret_cast<HostItemID>((index + 1) * kCameraItemStep);
}

HostCamera* Host::camera(HostItemID item, const char* operation) {
    const auto v = reinterpret_cast<uintptr_t>(item);
    if (v != 0 && v % kCameraItemStep == 0 && v / kCameraItemStep <= cameras_.size())
        return &cameras_[v / kCameraItemStep - 1];
    reportMisuse(std::string(operation) + ": " + handleName(item) + " is not a camera");
    return nullptr;
}

void Host::setFrameSize(int width, int height) {
    sceneInfo_.frameWidth = width;
    sceneInfo_.frameHeight = height;
}

const char* ActivationResultText(int32_t code) {
    switch (code) {
        case kActivateOk:
            return "activated";
        case kActivateBadVersion:
            return "version not accepted";
        case kActivateNoService:
            return "a required host service is missing";
        case kActivateNoEditor:
            return "no node editor";
        default:
            return "unknown result";
    }
}

}  // namespace pexil::host
