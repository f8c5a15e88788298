// The stand-in host: the services a module looks up by name, the node
// editors it makes, the scene's cameras, and a strict record of every call.
//
// One Host is current at a time; the global lookup function and every service
// operation act on it. Misuse by a module (a handle the host never gave out,
// calls in an order the host does not allow) is recorded by name in misuse()
// rather than crashing, so that tests can assert on it.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "host/node_editor.h"
#include "host/trace.h"
#include "sdk/module.h"
#include "sdk/services.h"

namespace pexil::host {

class ModuleFile;
struct HandlerRecords;

struct HostConfig {
    std::set<std::string> withheld;      // services the lookup answers with null
    bool refuseEditor = false;           // "NodeEditorFuncs" 1 answers null
    bool editorReady = true;             // answer of "NodeEditorFuncs" 22
    std::ostream* presentTo = nullptr;   // where operation 21 shows the network, if anywhere
    bool presentAsDot = false;           // ... as a Graphviz graph rather than scene text
    bool refuseCameraEvaluator = false;  // "LW Camera Evaluation Funcs 2" 1 answers null
    bool trace = true;                   // record service calls; off for renders and measurements
    // When set, "NodeOutputFuncs" 11 answers this instead of the output's number.
    std::optional<int32_t> outputNumber;
};

// What a camera is at one moment.
struct CameraState {
    std::array<double, 3> position{0, 0, 0};
    std::array<double, 3> right{1, 0, 0};
    std::array<double, 3> up{0, 1, 0};
    std::array<double, 3> forward{0, 0, 1};
    std::array<double, 3> filmOffset{0, 0, 0};
    double zoom = 3.2;
    double pixelAspect = 1.0;
    double orthoHeight = 2.0;  // orthographic cameras: the frame's height in world units
};

// How a camera forms its rays.
enum class Projection {
    Perspective,   // a pinhole
    Orthographic,  // parallel rays; a pinhole does not describe them
};

struct HostCamera {
    std::string name;
    CameraState state;  // when there are no keys
    // Keys by time, in increasing order; between two keys every value moves
    // linearly, before the first and after the last it holds.
    std::vector<std::pair<double, CameraState>> keys;
    Projection projection = Projection::Perspective;
    uint32_t flags = 0;  // "LW Camera Info 5" 7; the host sets kCameraOwnRays for non-pinholes
    HostChannelGroupID group = nullptr;

    CameraState at(double time) const;
    // The ray of this camera through film position (pixelX, pixelY) of a
    // width x height frame at `time`: origin and unit direction.
    void ray(double pixelX, double pixelY, int width, int height, double time, double origin[3],
             double direction[3]) const;
};

// A camera evaluator made through "LW Camera Evaluation Funcs 2" 1.
struct CameraEvaluator {
    HostItemID camera = nullptr;
    bool live = true;   // false once destroyed
    double time = 0.0;  // of the frame its last new time announced
};

class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The current host; null when none exists.
    static Host* current();

    HostConfig config;

    // The function modules receive at activation.
    static HostGlobalFn globalFunction();
    // What the global function answers for a name: a service table, or null.
    void* lookup(const char* name);

    Trace& trace() { return trace_; }
    const std::vector<std::string>& misuse() const { return misuse_; }
    void clearMisuse() { misuse_.clear(); }
    void reportMisuse(std::string what) { misuse_.push_back(std::move(what)); }

    // Handles: every handle the host gives out has a readable name.
    std::string handleName(const void* handle) const;
    void nameHandle(const void* handle, std::string name) {
        handleNames_[handle] = std::move(name);
    }

    // Node editors made through "NodeEditorFuncs" 1, in creation order.
    const std::vector<std::unique_ptr<NodeEditor>>& editors() const { return editors_; }
    // The editor behind a handle, or null (and a misuse naming `operation`).
    NodeEditor* editor(NodeEditorID id, const char* operation);
    NodeEditor* makeEditor(const char* name, const char* title, const HostNodeRootDesc& root,
                           void* userData);
    // The node or input behind a handle, or null (and a misuse naming `operation`).
    Node* node(NodeID id, const char* operation);
    NodeInput* input(NodeInputID id, const char* operation);
    // Gives new nodes and inputs of an editor their handle names.
    void registerNode(Node& node);

    // Plug-in nodes come from the node servers of the module the host uses.
    void useModule(const ModuleFile* module) { module_ = module; }
    const ModuleFile* module() const { return module_; }
    // True when the module offers a node server of that name.
    bool hasNodeServer(std::string_view server) const;
    // A new node of a node server, not yet part of any network: the server is
    // activated on first use, then the node's instance is created (it makes its
    // outputs). Throws std::runtime_error saying why in words.
    std::unique_ptr<Node> makePluginNode(NodeEditor& editor, const std::string& server, int id);
    // Adds a node of a node server to the editor's network.
    Node& addPluginNode(NodeEditor& editor, const std::string& server, int id = 0);
    // The module is about to be unloaded: every instance it made must go first.
    void moduleUnloading(const ModuleFile& module);

    // Channel groups: made by "Animation Envelopes" 3 and for every item.
    HostChannelGroupID makeGroup(HostChannelGroupID parent, const std::string& name);
    const std::string& groupName(HostChannelGroupID group) const;

    // The scene the services describe.
    std::vector<HostCamera>& cameras() { return cameras_; }
    // Adds a camera and gives it its item handle and channel group.
    HostCamera& addCamera(const std::string& name);
    HostCamera* camera(HostItemID item, const char* operation);
    HostItemID cameraItem(std::size_t index) const;
    // Which camera renders from which time on: (time, camera index), by time.
    // Empty: the first camera renders throughout.
    std::vector<std::pair<double, std::size_t>> renderCameraSwitches;
    std::size_t renderCameraIndex(double time) const;
    HostSceneInfo& sceneInfo() { return sceneInfo_; }
    // Every camera evaluator made, live or destroyed, in creation order.
    std::vector<std::unique_ptr<CameraEvaluator>> evaluators;
    void setFrameSize(int width, int height);

  private:
    HostSceneInfo sceneInfo_{};
    Trace trace_;
    std::vector<std::string> misuse_;
    std::map<const void*, std::string> handleNames_;
    std::vector<std::unique_ptr<NodeEditor>> editors_;
    std::vector<std::unique_ptr<std::string>> groups_;  // a group's handle is its name's address
    std::vector<HostCamera> cameras_;
    const ModuleFile* module_ = nullptr;
    std::map<std::string, std::unique_ptr<HandlerRecords>, std::less<>> nodeServers_;
    std::set<const Node*> pending_;  // plug-in nodes being created
};

// A module's activation result in words.
const char* ActivationResultText(int32_t code);

}  // namespace pexil::host
