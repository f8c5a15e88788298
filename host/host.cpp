#include "host/host.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "host/module_file.h"
#include "host/plugin.h"
#include "host/services.h"
#include "host/world.h"

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

CameraState HostCamera::at(double time) const {
    if (keys.empty()) return state;
    if (time <= keys.front().first) return keys.front().second;
    if (time >= keys.back().first) return keys.back().second;
    std::size_t k = 1;
    while (keys[k].first < time) ++k;
    const auto& [t0, a] = keys[k - 1];
    const auto& [t1, b] = keys[k];
    const double f = (time - t0) / (t1 - t0);
    auto mix = [f](double x, double y) { return x + (y - x) * f; };
    auto mix3 = [&](const std::array<double, 3>& x, const std::array<double, 3>& y) {
        return std::array<double, 3>{mix(x[0], y[0]), mix(x[1], y[1]), mix(x[2], y[2])};
    };
    CameraState c;
    c.position = mix3(a.position, b.position);
    c.right = mix3(a.right, b.right);
    c.up = mix3(a.up, b.up);
    c.forward = mix3(a.forward, b.forward);
    c.filmOffset = mix3(a.filmOffset, b.filmOffset);
    c.zoom = mix(a.zoom, b.zoom);
    c.pixelAspect = mix(a.pixelAspect, b.pixelAspect);
    c.orthoHeight = mix(a.orthoHeight, b.orthoHeight);
    return c;
}

void HostCamera::ray(double px, double py, int width, int height, double time, double origin[3],
                     double direction[3]) const {
    const CameraState c = at(time);
    const Vec3 right = Unit(c.right), up = Unit(c.up), forward = Unit(c.forward);
    // Film coordinates of the sample point, in units of half the frame height.
    const double hh = height * 0.5, hw = width * 0.5;
    const double u = (px + 0.5 - hw) / hh * c.pixelAspect - c.filmOffset[0];
    const double v = (hh - (py + 0.5)) / hh - c.filmOffset[1];
    if (projection == Projection::Orthographic) {
        const double half = c.orthoHeight * 0.5;
        for (int i = 0; i < 3; ++i) {
            origin[i] = c.position[i] + (u * right[i] + v * up[i]) * half;
            direction[i] = forward[i];
        }
        return;
    }
    std::array<double, 3> d;
    for (int i = 0; i < 3; ++i) {
        origin[i] = c.position[i];
        d[i] = u * right[i] + v * up[i] + c.zoom * forward[i];
    }
    d = Unit(d);
    for (int i = 0; i < 3; ++i) direction[i] = d[i];
}

Host::Host() {
    if (gCurrent != nullptr) throw std::logic_error("another Host is still current");
    gCurrent = this;
    addCamera("Camera");
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
    editors_.clear();  // plug-in nodes go while their module is still loaded
    gCurrent = nullptr;
}

HostCamera& Host::addCamera(const std::string& name) {
    cameras_.push_back(HostCamera{});
    HostCamera& c = cameras_.back();
    c.name = name;
    c.group = makeGroup(nullptr, name);
    nameHandle(cameraItem(cameras_.size() - 1), "camera" + std::to_string(cameras_.size()));
    sceneInfo_.numCameras = static_cast<int32_t>(cameras_.size());
    return c;
}

std::size_t Host::renderCameraIndex(double time) const {
    std::size_t index = 0;
    for (const auto& [from, camera] : renderCameraSwitches)
        if (from <= time) index = camera;
    return index < cameras_.size() ? index : 0;
}

bool Host::hasNodeServer(std::string_view server) const {
    return module_ != nullptr && module_->find(kNodeHandlerClass, server) != nullptr;
}

std::unique_ptr<Node> Host::makePluginNode(NodeEditor& editor, const std::string& server, int id) {
    if (module_ == nullptr)
        throw std::runtime_error("no module is loaded to make a " + server + " node");
    const ServerEntry* entry = module_->find(kNodeHandlerClass, server);
    if (entry == nullptr)
        throw std::runtime_error(module_->path() + " has no node named " + server);
    auto found = nodeServers_.find(server);
    if (found == nodeServers_.end()) {
        auto records = std::make_unique<HandlerRecords>();
        const int32_t code = Activate(*entry, OfferedVersion(kNodeHandlerClass), *records);
        if (code != kActivateOk)
            throw std::runtime_error("node " + server +
                                     " did not activate: " + ActivationResultText(code) +
                                     " (code " + std::to_string(code) + ")");
        found = nodeServers_.emplace(server, std::move(records)).first;
    }
    const HandlerRecords& r = *found->second;
    auto node = std::make_unique<Node>();
    node->editor = &editor;
    node->id = id;
    node->type = server;
    node->handler = &r.node;
    node->funcs = &r.inst;
    node->owner = module_;
    registerNode(*node);
    pending_.insert(node.get());
    HostError error = nullptr;
    void* instance = r.inst.create(r.inst.priv, node.get(), &error);
    pending_.erase(node.get());
    if (instance == nullptr)
        throw std::runtime_error("node " + server + " could not be created: " +
                                 (error != nullptr ? error : "no reason given"));
    node->instance = instance;
    registerNode(*node);  // names the outputs it made
    return node;
}

Node& Host::addPluginNode(NodeEditor& editor, const std::string& server, int id) {
    return editor.add(makePluginNode(editor, server, id == 0 ? editor.nextId() : id));
}

void Host::moduleUnloading(const ModuleFile& module) {
    for (const auto& e : editors_) {
        for (const auto& n : e->nodes()) {
            if (n->owner != &module || n->instance == nullptr) continue;
            n->funcs->destroy(n->instance);
            n->instance = nullptr;
            n->handler = nullptr;
            n->funcs = nullptr;
        }
    }
    if (module_ == &module) {
        nodeServers_.clear();
        module_ = nullptr;
    }
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
    for (const Node* n : pending_)
        if (reinterpret_cast<NodeID>(const_cast<Node*>(n)) == id) return const_cast<Node*>(n);
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
