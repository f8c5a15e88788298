#include "host/node_editor.h"

#include <algorithm>
#include <stdexcept>

namespace pexil::host {

Node::~Node() {
    if (instance != nullptr && funcs != nullptr) funcs->destroy(instance);
}

NodeInput* Node::input(std::string_view name) const {
    for (const auto& in : inputs)
        if (in->name == name) return in.get();
    return nullptr;
}

NodeOutput* Node::output(std::string_view name) const {
    for (const auto& out : outputs)
        if (out->name == name) return out.get();
    return nullptr;
}

NodeInput* Node::addInput(int type, std::string name) {
    auto in = std::make_unique<NodeInput>();
    in->node = this;
    in->type = type;
    in->name = std::move(name);
    inputs.push_back(std::move(in));
    return inputs.back().get();
}

NodeOutput* Node::addOutput(int type, std::string name) {
    auto out = std::make_unique<NodeOutput>();
    out->node = this;
    out->type = type;
    out->name = std::move(name);
    out->number = static_cast<int>(outputs.size()) + 1;
    outputs.push_back(std::move(out));
    return outputs.back().get();
}

NodeEditor::NodeEditor(std::string handleName, std::string name, std::string title,
                       const HostNodeRootDesc& root, void* data)
    : userData(data),
      handleName_(std::move(handleName)),
      name_(std::move(name)),
      title_(std::move(title)),
      rootDesc_(root),
      root_(std::make_unique<Node>()) {
    root_->editor = this;
    root_->id = 0;
    root_->type = "Root";
}

Node* NodeEditor::findNode(int id) {
    if (id == 0) return root_.get();
    for (const auto& n : nodes_)
        if (n->id == id) return n.get();
    return nullptr;
}

std::unique_ptr<Node> NodeEditor::makeBuiltin(std::string_view typeName, int id) {
    const BuiltinNodeType* type = FindBuiltinNodeType(typeName);
    if (type == nullptr)
        throw std::invalid_argument("unknown node type '" + std::string(typeName) + "'");
    auto node = std::make_unique<Node>();
    node->editor = this;
    node->id = id;
    node->type = type->name;
    node->color = {128, 128, 128};
    node->builtin = type;
    for (const auto& p : type->inputs) node->addInput(p.type, p.name)->value = p.value;
    for (const auto& p : type->outputs) node->addOutput(p.type, p.name);
    node->settings = type->defaultSettings;
    return node;
}

Node& NodeEditor::addBuiltin(std::string_view typeName, int id) {
    return add(makeBuiltin(typeName, id == 0 ? nextId_ : id));
}

bool NodeEditor::wouldLoop(const NodeOutput& from, const NodeInput& to) const {
    // A loop exists when `from`'s node already depends on `to`'s node.
    std::vector<const Node*> pending = {from.node};
    std::vector<const Node*> seen;
    while (!pending.empty()) {
        const Node* n = pending.back();
        pending.pop_back();
        if (n == to.node) return true;
        if (std::find(seen.begin(), seen.end(), n) != seen.end()) continue;
        seen.push_back(n);
        for (const auto& in : n->inputs)
            if (in->source != nullptr) pending.push_back(in->source->node);
    }
    return false;
}

void NodeEditor::connect(NodeOutput& from, NodeInput& to) {
    if (to.source != nullptr)
        throw std::invalid_argument("input '" + to.name + "' is already connected");
    if (wouldLoop(from, to))
        throw std::invalid_argument("connecting '" + from.name + "' to '" + to.name +
                                    "' would close a loop");
    to.source = &from;
}

Node& NodeEditor::add(std::unique_ptr<Node> node) {
    if (node->id <= 0 || findNode(node->id) != nullptr)
        throw std::invalid_argument("node id " + std::to_string(node->id) + " is already taken");
    node->editor = this;
    nextId_ = std::max(nextId_, node->id + 1);
    nodes_.push_back(std::move(node));
    return *nodes_.back();
}

int NodeEditor::nextId() const {
    return nextId_;
}

void NodeEditor::disconnect(NodeInput& to) {
    to.source = nullptr;
}

void NodeEditor::clear() {
    for (const auto& in : root_->inputs) in->source = nullptr;
    // Later nodes may be fed by earlier ones: remove them last first.
    while (!nodes_.empty()) nodes_.pop_back();
    nextId_ = 1;
}

}  // namespace pexil::host
