// The stand-in host: the services a module looks up by name, the node
// editors it makes, the scene's cameras, and a strict record of every call.
//
// One Host is current at a time; the global lookup function and every service
// operation act on it. Misuse by a module (a handle the host never gave out,
// calls in an order the host does not allow) is recorded by name in misuse()
// rather than crashing, so that tests can assert on it.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "host/node_editor.h"
#include "host/trace.h"
#include "sdk/module.h"
#include "sdk/services.h"

namespace pexil::host {

struct HostConfig {
    std::set<std::string> withheld;     // services the lookup answers with null
    bool refuseEditor = false;          // "NodeEditorFuncs" 1 answers null
    bool editorReady = true;            // answer of "NodeEditorFuncs" 22
    std::ostream* presentTo = nullptr;  // where operation 21 shows the network, if anywhere
};

struct HostCamera {
    std::string name;
    double position[3] = {0, 0, 0};
    double right[3] = {1, 0, 0};
    double up[3] = {0, 1, 0};
    double forward[3] = {0, 0, 1};
    double filmOffset[3] = {0, 0, 0};
    double zoom = 3.2;
    double pixelAspect = 1.0;
    uint32_t flags = 0;
    HostChannelGroupID group = nullptr;
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

    // Channel groups: made by "Animation Envelopes" 3 and for every item.
    HostChannelGroupID makeGroup(HostChannelGroupID parent, const std::string& name);
    const std::string& groupName(HostChannelGroupID group) const;

    // The scene the services describe.
    std::vector<HostCamera>& cameras() { return cameras_; }
    HostCamera* camera(HostItemID item, const char* operation);
    HostItemID cameraItem(std::size_t index) const;
    HostSceneInfo& sceneInfo() { return sceneInfo_; }
    void setFrameSize(int width, int height);

  private:
    HostSceneInfo sceneInfo_{};
    Trace trace_;
    std::vector<std::string> misuse_;
    std::map<const void*, std::string> handleNames_;
    std::vector<std::unique_ptr<NodeEditor>> editors_;
    std::vector<std::unique_ptr<std::string>> groups_;  // a group's handle is its name's address
    std::vector<HostCamera> cameras_;
};

// A module's activation result in words.
const char* ActivationResultText(int32_t code);

}  // namespace pexil::host
