#include "host/network_graph.h"

#include <cctype>
#include <cstdio>
#include <sstream>

#include "host/scene_text.h"

namespace pexil::host {
namespace {

// Text inside a record label: escape what DOT's record syntax reserves.
std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (std::string_view("{}|<>\"\\").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

std::string Port(const std::string& name) {
    std::string p;
    for (char c : name) p += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return p;
}

std::string Value(const NodeInput& in) {
    if (in.source != nullptr) return "";
    std::string v = " = " + formatNumber(in.value[0]);
    if (in.type == kConnectionColor)
        v += " " + formatNumber(in.value[1]) + " " + formatNumber(in.value[2]);
    return v;
}

void WriteNode(std::ostringstream& dot, const Node& n, const std::string& id,
               const std::string& title) {
    dot << "  " << id << " [label=\"{";
    if (!n.inputs.empty()) {
        dot << "{";
        for (std::size_t i = 0; i < n.inputs.size(); ++i)
            dot << (i ? "|" : "") << "<in_" << Port(n.inputs[i]->name) << "> "
                << Escape(n.inputs[i]->name + Value(*n.inputs[i]));
        dot << "}|";
    }
    dot << Escape(title);
    if (!n.outputs.empty()) {
        dot << "|{";
        for (std::size_t i = 0; i < n.outputs.size(); ++i)
            dot << (i ? "|" : "") << "<out_" << Port(n.outputs[i]->name) << "> "
                << Escape(n.outputs[i]->name);
        dot << "}";
    }
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", n.color[0] & 0xFF, n.color[1] & 0xFF,
                  n.color[2] & 0xFF);
    dot << "}\", color=\"" << colour << "\"];\n";
}

std::string NodeId(const Node& n) {
    return n.id == 0 ? "root" : "node" + std::to_string(n.id);
}

}  // namespace

std::string NetworkDot(const NodeEditor& editor) {
    std::ostringstream dot;
    dot << "digraph \"" << Escape(editor.title()) << "\" {\n"
        << "  rankdir=LR;\n  node [shape=record, fontname=\"Helvetica\", fontsize=10];\n";
    for (const auto& n : editor.nodes())
        WriteNode(dot, *n, NodeId(*n), n->type + " " + std::to_string(n->id));
    const Node& root = editor.root();
    WriteNode(dot, root, "root", editor.title());
    auto edges = [&dot](const Node& n) {
        for (const auto& in : n.inputs)
            if (in->source != nullptr)
                dot << "  " << NodeId(*in->source->node) << ":out_" << Port(in->source->name)
                    << " -> " << NodeId(n) << ":in_" << Port(in->name) << ";\n";
    };
    for (const auto& n : editor.nodes()) edges(*n);
    edges(root);
    dot << "}\n";
    return dot.str();
}

}  // namespace pexil::host
