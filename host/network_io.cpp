#include "host/network_io.h"

#include <algorithm>
#include <map>
#include <set>

#include "host/host.h"
#include "host/scene_states.h"

namespace pexil::host {
namespace {

Arg Word(std::string s) {
    return Arg{std::move(s), false};
}
Arg Quoted(std::string s) {
    return Arg{std::move(s), true};
}

struct NodeDesc {
    int line;
    int id;
    std::string type;
    std::vector<std::pair<std::string, std::vector<double>>> values;
    std::vector<int> valueLines;
};
struct LinkDesc {
    int line;
    int from;
    std::string output;
    int to;
    std::string input;
};

// A content error in the network: where and what.
struct NetworkError {
    int line;
    std::string message;
};

int ParseId(const Arg& a, int line, const char* what) {
    auto v = parseInteger(a);
    if (!v || *v < 0 || *v > 1'000'000)
        throw NetworkError{line, std::string(what) + " '" + a.text + "' is not a node id"};
    return static_cast<int>(*v);
}

std::vector<NodeDesc> ParseNodes(const std::vector<const SceneNode*>& statements,
                                 std::vector<LinkDesc>& links) {
    std::vector<NodeDesc> nodes;
    for (const SceneNode* s : statements) {
        if (s->kind == SceneNode::Kind::Brace && s->keyword == "Node") {
            if (s->args.size() != 2)
                throw NetworkError{s->line,
                                   "a node block needs an id and a type: { Node <id> <type>"};
            NodeDesc n{s->line, ParseId(s->args[0], s->line, "node id"), s->args[1].text, {}, {}};
            if (n.id == 0) throw NetworkError{s->line, "node id 0 is the root's"};
            for (const SceneNode& c : s->children) {
                if (c.kind != SceneNode::Kind::Line || c.keyword != "Input")
                    throw NetworkError{c.line, "unknown keyword '" + c.keyword + "' in node " +
                                                   std::to_string(n.id)};
                if (c.args.size() != 2 && c.args.size() != 4)
                    throw NetworkError{c.line, "Input needs a name and one or three numbers"};
                std::vector<double> v;
                for (std::size_t i = 1; i < c.args.size(); ++i) {
                    auto x = parseNumber(c.args[i]);
                    if (!x) throw NetworkError{c.line, "'" + c.args[i].text + "' is not a number"};
                    v.push_back(*x);
                }
                n.values.emplace_back(c.args[0].text, std::move(v));
                n.valueLines.push_back(c.line);
            }
            nodes.push_back(std::move(n));
        } else if (s->kind == SceneNode::Kind::Line && s->keyword == "Connect") {
            if (s->args.size() != 4)
                throw NetworkError{s->line, "Connect needs: <from id> <output> <to id> <input>"};
            links.push_back({s->line, ParseId(s->args[0], s->line, "source"), s->args[1].text,
                             ParseId(s->args[2], s->line, "target"), s->args[3].text});
        } else {
            throw NetworkError{s->line, "unknown keyword '" + s->keyword + "' in a network"};
        }
    }
    return nodes;
}

// Checks the whole network against the editor before anything changes.
void Validate(NodeEditor& editor, const std::vector<NodeDesc>& nodes,
              const std::vector<LinkDesc>& links) {
    std::map<int, const BuiltinNodeType*> types;
    for (const NodeDesc& n : nodes) {
        const BuiltinNodeType* t = FindBuiltinNodeType(n.type);
        if (t == nullptr) throw NetworkError{n.line, "unknown node type '" + n.type + "'"};
        if (!types.emplace(n.id, t).second)
            throw NetworkError{n.line, "node id " + std::to_string(n.id) + " is used twice"};
        for (std::size_t i = 0; i < n.values.size(); ++i) {
            const auto& [name, v] = n.values[i];
            auto port = std::find_if(t->inputs.begin(), t->inputs.end(),
                                     [&](const auto& p) { return name == p.name; });
            if (port == t->inputs.end())
                throw NetworkError{n.valueLines[i],
                                   "node type " + n.type + " has no input '" + name + "'"};
            const std::size_t want = port->type == kConnectionColor ? 3 : 1;
            if (v.size() != want)
                throw NetworkError{n.valueLines[i], "input '" + name + "' takes " +
                                                        std::to_string(want) +
                                                        (want == 1 ? " number" : " numbers")};
        }
    }
    std::map<std::pair<int, std::string>, int> fed;
    for (const LinkDesc& l : links) {
        auto from = types.find(l.from);
        if (from == types.end())
            throw NetworkError{l.line, "no node " + std::to_string(l.from) + " to connect from"};
        const auto& outs = from->second->outputs;
        if (std::none_of(outs.begin(), outs.end(),
                         [&](const auto& p) { return l.output == p.name; }))
            throw NetworkError{
                l.line, "node " + std::to_string(l.from) + " has no output '" + l.output + "'"};
        if (l.to == 0) {
            if (editor.root().input(l.input) == nullptr)
                throw NetworkError{l.line, "the root has no input '" + l.input + "'"};
        } else {
            auto to = types.find(l.to);
            if (to == types.end())
                throw NetworkError{l.line, "no node " + std::to_string(l.to) + " to connect to"};
            const auto& ins = to->second->inputs;
            if (std::none_of(ins.begin(), ins.end(),
                             [&](const auto& p) { return l.input == p.name; }))
                throw NetworkError{
                    l.line, "node " + std::to_string(l.to) + " has no input '" + l.input + "'"};
        }
        if (!fed.emplace(std::make_pair(l.to, l.input), l.line).second)
            throw NetworkError{l.line, "input '" + l.input + "' of node " + std::to_string(l.to) +
                                           " is connected twice"};
    }
    // No node may depend on itself: follow every link upstream.
    std::multimap<int, const LinkDesc*> feeds;  // node -> links into it
    for (const LinkDesc& l : links) feeds.emplace(l.to, &l);
    for (const LinkDesc& start : links) {
        std::vector<int> pending = {start.from};
        std::set<int> seen;
        while (!pending.empty()) {
            const int n = pending.back();
            pending.pop_back();
            if (n == start.to)
                throw NetworkError{start.line, "connecting node " + std::to_string(start.from) +
                                                   " to node " + std::to_string(start.to) +
                                                   " closes a loop"};
            if (!seen.insert(n).second) continue;
            auto [a, b] = feeds.equal_range(n);
            for (auto it = a; it != b; ++it) pending.push_back(it->second->from);
        }
    }
}

}  // namespace

void WriteNetwork(const NodeEditor& editor, SceneWriter& w) {
    for (const auto& n : editor.nodes()) {
        w.beginBrace("Node", {Word(std::to_string(n->id)), Word(n->type)});
        for (const auto& in : n->inputs) {
            std::vector<Arg> args = {Word(in->name)};
            const int count = in->type == kConnectionColor ? 3 : 1;
            for (int i = 0; i < count; ++i) args.push_back(Word(formatNumber(in->value[i])));
            w.line("Input", args);
        }
        w.endBrace();
    }
    auto links = [&w](const Node& n) {
        for (const auto& in : n.inputs)
            if (in->source != nullptr)
                w.line("Connect",
                       {Word(std::to_string(in->source->node->id)), Word(in->source->name),
                        Word(std::to_string(n.id)), Word(in->name)});
    };
    for (const auto& n : editor.nodes()) links(*n);
    links(const_cast<NodeEditor&>(editor).root());
}

std::string NetworkText(const NodeEditor& editor) {
    SceneWriter w;
    w.beginBrace("Network", {Quoted(editor.name()), Quoted(editor.title())});
    WriteNetwork(editor, w);
    w.endBrace();
    return w.text();
}

bool SaveNetwork(Host& host, const NodeEditor& editor, const HostSaveState* save) {
    SceneSaveState* state = SceneSaveState::From(save);
    if (state == nullptr) {
        host.reportMisuse("NodeEditorFuncs 6 save: not a save state of this host");
        return false;
    }
    WriteNetwork(editor, state->writer());
    return true;
}

bool LoadNetwork(Host& host, NodeEditor& editor, const HostLoadState* load) {
    SceneLoadState* state = SceneLoadState::From(load);
    if (state == nullptr) {
        host.reportMisuse("NodeEditorFuncs 7 load: not a load state of this host");
        return false;
    }
    std::vector<LinkDesc> links;
    std::vector<NodeDesc> nodes;
    try {
        nodes = ParseNodes(state->takeRemaining(), links);
        Validate(editor, nodes, links);
    } catch (const NetworkError& e) {
        state->fail(e.line, e.message);
        return false;
    }

    editor.clear();
    for (const NodeDesc& d : nodes) {
        Node& n = editor.addBuiltin(d.type, d.id);
        for (const auto& [name, v] : d.values)
            for (std::size_t i = 0; i < v.size(); ++i) n.input(name)->value[i] = v[i];
        host.registerNode(n);
    }
    for (const LinkDesc& l : links) {
        NodeInput* to = editor.findNode(l.to)->input(l.input);
        NodeOutput* from = editor.findNode(l.from)->output(l.output);
        editor.connect(*from, *to);
    }
    return true;
}

}  // namespace pexil::host
