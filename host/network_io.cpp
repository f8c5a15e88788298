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
    const SceneNode* data = nullptr;  // a plug-in node's own block
    std::vector<NodeSetting> settings = {};
    std::vector<int> settingLines = {};
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
                if (c.kind == SceneNode::Kind::Brace && c.keyword == "Data" && n.data == nullptr &&
                    c.args.empty()) {
                    n.data = &c;
                    continue;
                }
                if (c.kind == SceneNode::Kind::Line && c.keyword == "Setting") {
                    if (c.args.empty())
                        throw NetworkError{c.line, "Setting needs a name and its numbers"};
                    NodeSetting setting{c.args[0].text, {}};
                    for (std::size_t i = 1; i < c.args.size(); ++i) {
                        auto x = parseNumber(c.args[i]);
                        if (!x)
                            throw NetworkError{c.line, "'" + c.args[i].text + "' is not a number"};
                        setting.numbers.push_back(*x);
                    }
                    n.settings.push_back(std::move(setting));
                    n.settingLines.push_back(c.line);
                    continue;
                }
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

// Makes every node of the network and checks values and connections against
// them, before anything in the editor changes.
std::vector<std::unique_ptr<Node>> Stage(Host& host, NodeEditor& editor, SceneLoadState& state,
                                         const std::vector<NodeDesc>& nodes,
                                         const std::vector<LinkDesc>& links) {
    std::vector<std::unique_ptr<Node>> staged;
    std::map<int, Node*> byId;
    for (const NodeDesc& n : nodes) {
        if (byId.count(n.id) != 0)
            throw NetworkError{n.line, "node id " + std::to_string(n.id) + " is used twice"};
        std::unique_ptr<Node> node;
        if (FindBuiltinNodeType(n.type) != nullptr) {
            node = editor.makeBuiltin(n.type, n.id);
            if (n.data != nullptr)
                throw NetworkError{n.data->line, "a " + n.type + " node holds no Data block"};
        } else if (host.hasNodeServer(n.type)) {
            try {
                node = host.makePluginNode(editor, n.type, n.id);
            } catch (const std::runtime_error& e) {
                throw NetworkError{n.line, e.what()};
            }
            // The node's own data, read by its server.
            static const SceneNode kEmpty{SceneNode::Kind::Brace, "Data", {}, 0, 0, {}};
            SceneLoadState own(host, n.data != nullptr ? *n.data : kEmpty, state.file(),
                               state.pathTo(), n.type);
            node->funcs->load(node->instance, own.record());
            own.finish();
            if (own.error()) throw NetworkError{own.error()->line(), own.error()->message()};
        } else {
            throw NetworkError{n.line, "unknown node type '" + n.type + "'"};
        }
        for (std::size_t i = 0; i < n.values.size(); ++i) {
            const auto& [name, v] = n.values[i];
            const NodeInput* in = node->input(name);
            if (in == nullptr)
                throw NetworkError{n.valueLines[i],
                                   "node type " + n.type + " has no input '" + name + "'"};
            const std::size_t want = in->type == kConnectionColor ? 3 : 1;
            if (v.size() != want)
                throw NetworkError{n.valueLines[i], "input '" + name + "' takes " +
                                                        std::to_string(want) +
                                                        (want == 1 ? " number" : " numbers")};
        }
        if (!n.settings.empty()) {
            std::map<std::string, const std::vector<double>*> before;  // per name, its last line
            for (std::size_t i = 0; i < n.settings.size(); ++i) {
                const NodeSetting& s = n.settings[i];
                const std::vector<double>*& last = before[s.name];
                const std::string why = CheckSetting(*node, s.name, s.numbers, last);
                if (!why.empty()) throw NetworkError{n.settingLines[i], why};
                last = &s.numbers;
            }
            // The settings a block names replace the type's defaults of those names.
            std::vector<NodeSetting> settings;
            for (const NodeSetting& d : node->settings)
                if (before.count(d.name) == 0) settings.push_back(d);
            settings.insert(settings.end(), n.settings.begin(), n.settings.end());
            node->settings = std::move(settings);
        }
        byId[n.id] = node.get();
        staged.push_back(std::move(node));
    }
    std::map<std::pair<int, std::string>, int> fed;
    for (const LinkDesc& l : links) {
        auto from = byId.find(l.from);
        if (from == byId.end())
            throw NetworkError{l.line, "no node " + std::to_string(l.from) + " to connect from"};
        if (from->second->output(l.output) == nullptr)
            throw NetworkError{
                l.line, "node " + std::to_string(l.from) + " has no output '" + l.output + "'"};
        if (l.to == 0) {
            if (editor.root().input(l.input) == nullptr)
                throw NetworkError{l.line, "the root has no input '" + l.input + "'"};
        } else {
            auto to = byId.find(l.to);
            if (to == byId.end())
                throw NetworkError{l.line, "no node " + std::to_string(l.to) + " to connect to"};
            if (to->second->input(l.input) == nullptr)
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
    return staged;
}

}  // namespace

void WriteNetwork(Host* host, const NodeEditor& editor, SceneWriter& w) {
    for (const auto& n : editor.nodes()) {
        w.beginBrace("Node", {Word(std::to_string(n->id)), Word(n->type)});
        if (host != nullptr && n->instance != nullptr) {
            // The node's own data, written by its server; kept only when there is some.
            SceneWriter own;
            SceneSaveState state(*host, own);
            n->funcs->save(n->instance, state.record());
            state.finish();
            if (!own.text().empty()) {
                w.beginBrace("Data");
                for (const SceneNode& c : parseSceneText(own.text(), "(node data)", {})) w.node(c);
                w.endBrace();
            }
        }
        for (const auto& in : n->inputs) {
            std::vector<Arg> args = {Word(in->name)};
            const int count = in->type == kConnectionColor ? 3 : 1;
            for (int i = 0; i < count; ++i) args.push_back(Word(formatNumber(in->value[i])));
            w.line("Input", args);
        }
        for (const NodeSetting& s : n->settings) {
            std::vector<Arg> args = {Word(s.name)};
            for (double x : s.numbers) args.push_back(Word(formatNumber(x)));
            w.line("Setting", args);
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
    links(editor.root());
}

std::string NetworkText(const NodeEditor& editor) {
    SceneWriter w;
    w.beginBrace("Network", {Quoted(editor.name()), Quoted(editor.title())});
    WriteNetwork(nullptr, editor, w);
    w.endBrace();
    return w.text();
}

bool SaveNetwork(Host& host, const NodeEditor& editor, const HostSaveState* save) {
    SceneSaveState* state = SceneSaveState::From(save);
    if (state == nullptr) {
        host.reportMisuse("NodeEditorFuncs 6 save: not a save state of this host");
        return false;
    }
    WriteNetwork(&host, editor, state->writer());
    return true;
}

bool LoadNetwork(Host& host, NodeEditor& editor, const HostLoadState* load) {
    SceneLoadState* state = SceneLoadState::From(load);
    if (state == nullptr) {
        host.reportMisuse("NodeEditorFuncs 7 load: not a load state of this host");
        return false;
    }
    std::vector<LinkDesc> links;
    std::vector<std::unique_ptr<Node>> staged;
    try {
        const std::vector<NodeDesc> nodes = ParseNodes(state->takeRemaining(), links);
        staged = Stage(host, editor, *state, nodes, links);
        for (std::size_t i = 0; i < nodes.size(); ++i)
            for (const auto& [name, v] : nodes[i].values)
                for (std::size_t k = 0; k < v.size(); ++k) staged[i]->input(name)->value[k] = v[k];
    } catch (const NetworkError& e) {
        state->fail(e.line, e.message);
        return false;
    }

    editor.clear();
    for (auto& n : staged) host.registerNode(editor.add(std::move(n)));
    for (const LinkDesc& l : links)
        editor.connect(*editor.findNode(l.from)->output(l.output),
                       *editor.findNode(l.to)->input(l.input));
    return true;
}

}  // namespace pexil::host
