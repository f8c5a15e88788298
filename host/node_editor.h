// The host's node editor: networks of nodes whose outputs feed inputs, each
// network ending in a root node whose inputs its owner defines.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/node_types.h"
#include "sdk/handler.h"
#include "sdk/node.h"

namespace pexil::host {

struct Node;
class NodeEditor;

struct NodeOutput {
    Node* node = nullptr;
    int type = 0;  // HostConnectionType
    std::string name;
    int number = 0;  // position among the node's outputs, from 1
};

struct NodeInput {
    Node* node = nullptr;
    int type = 0;  // HostConnectionType
    std::string name;
    NodeOutput* source = nullptr;   // what feeds it, or null
    std::array<double, 3> value{};  // used while unconnected (scalars use [0])
    HostInputEventFn event = nullptr;
};

struct Node {
    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node();  // a plug-in node's instance is destroyed with it

    NodeEditor* editor = nullptr;
    int id = 0;                  // 0 is the root; others from 1, unique within the network
    std::string type;            // "Root", a built-in type, or a node server's name
    std::array<int, 3> color{};  // shown in the editor, 0-255
    HostChannelGroupID group = nullptr;
    std::vector<std::unique_ptr<NodeInput>> inputs;
    std::vector<std::unique_ptr<NodeOutput>> outputs;

    // Plug-in nodes: the server's records and the instance it created.
    const HostNodeHandler* handler = nullptr;
    const HostInstanceFuncs* funcs = nullptr;
    void* instance = nullptr;
    const void* owner = nullptr;  // the module file the instance belongs to

    // Built-in nodes: their type, and the settings that are not inputs.
    const BuiltinNodeType* builtin = nullptr;
    std::vector<NodeSetting> settings;

    NodeInput* input(std::string_view name) const;
    NodeOutput* output(std::string_view name) const;
    NodeInput* addInput(int type, std::string name);
    NodeOutput* addOutput(int type, std::string name);
};

class NodeEditor {
  public:
    NodeEditor(std::string handleName, std::string name, std::string title,
               const HostNodeRootDesc& root, void* userData);

    const std::string& handleName() const { return handleName_; }
    const std::string& name() const { return name_; }
    const std::string& title() const { return title_; }
    const HostNodeRootDesc& rootDesc() const { return rootDesc_; }

    void* userData = nullptr;
    HostEditorCallbackFn callback = nullptr;
    HostChannelGroupID channelGroup = nullptr;
    std::vector<int32_t> notifications;  // every event of operation 20, in order
    int presented = 0;                   // times operation 21 was called
    int rendering = 0;  // inits (operation 8) not yet matched by a cleanup (operation 10)

    Node& root() { return *root_; }
    const Node& root() const { return *root_; }
    const std::vector<std::unique_ptr<Node>>& nodes() const { return nodes_; }
    Node* findNode(int id);

    // Adds a built-in node; throws std::invalid_argument for an unknown type.
    // An id of 0 takes the next free one; a given id must be free.
    Node& addBuiltin(std::string_view type, int id = 0);
    // A built-in node that is not yet part of the network, its inputs holding
    // their types' defaults and the node its type's default settings.
    std::unique_ptr<Node> makeBuiltin(std::string_view type, int id);
    // True when a path leads from `to`'s node back to `from`'s node.
    bool wouldLoop(const NodeOutput& from, const NodeInput& to) const;
    // Connects output `from` to input `to`; throws std::invalid_argument when
    // the input is already fed or the connection would close a loop.
    void connect(NodeOutput& from, NodeInput& to);
    void disconnect(NodeInput& to);

    // Adds a node made elsewhere (a plug-in node); its id must be free.
    Node& add(std::unique_ptr<Node> node);
    int nextId() const;
    // Removes every node but the root and every connection.
    void clear();

  private:
    std::string handleName_, name_, title_;
    HostNodeRootDesc rootDesc_;
    std::unique_ptr<Node> root_;
    std::vector<std::unique_ptr<Node>> nodes_;
    int nextId_ = 1;
};

}  // namespace pexil::host
