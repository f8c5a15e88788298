// Bytes as a network in the node editor's own format, given to the editor's load. A network
// with a mistake changes nothing in the editor; one without evaluates (every output of every
// node, and the root), saves, and what it saved loads into another editor and saves the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "host/network_eval.h"
#include "host/network_io.h"
#include "host/scene_states.h"
#include "host/scene_text.h"
#include "sdk/shading.h"

using namespace pexil::host;
using pexil::fuzz::Fatal;

namespace {

// Loads `statements` as the content of a Nodes block into `editor`.
bool Load(Host& host, NodeEditor& editor, std::vector<SceneNode> statements, std::string& error) {
    const SceneNode block{SceneNode::Kind::Brace, "Nodes", {}, 1, 1, std::move(statements)};
    SceneLoadState state(host, block, "fuzz.scene", {}, "the node editor");
    const bool loaded = LoadNetwork(host, editor, state.record());
    state.finish();
    error = state.error() ? state.error()->what() : "";
    if (loaded != error.empty()) Fatal("the load's result and its error disagree: " + error);
    return loaded;
}

std::string Write(Host& host, const NodeEditor& editor) {
    SceneWriter w;
    WriteNetwork(&host, editor, w);
    return w.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<SceneNode> statements;
    try {
        statements = parseSceneText(std::string_view(reinterpret_cast<const char*>(data), size),
                                    "fuzz.scene", {});
    } catch (const SceneError&) {
        return 0;
    }

    Host host;
    host.config.trace = false;
    host.useModule(&pexil::fuzz::Module());
    HandlerRecords filter;
    pexil::fuzz::ActivateFilter(filter);
    void* instance = pexil::fuzz::CreateFilter(filter);
    NodeEditor& editor = *host.editors().back();
    // A network to keep when the load fails: a sample node through a built-in one.
    Node& sample = host.addPluginNode(editor, "pexil_PFOut");
    Node& invert = editor.addBuiltin("Invert");
    editor.connect(*sample.output("RawColor"), *invert.input("Color"));
    editor.connect(*invert.output("Color"), *editor.root().input("Output"));
    const std::string before = Write(host, editor);

    std::string error;
    if (!Load(host, editor, std::move(statements), error)) {
        if (Write(host, editor) != before) Fatal("a failed load changed the network: " + error);
    } else {
        HostNodalAccess nodal{};
        for (const auto& n : editor.nodes())
            for (const auto& out : n->outputs) EvaluateOutput(*out, &nodal);
        EvaluateInput(*editor.root().input("Output"), &nodal);

        const std::string saved = Write(host, editor);
        void* other = pexil::fuzz::CreateFilter(filter);
        NodeEditor& second = *host.editors().back();
        std::vector<SceneNode> again;
        try {
            again = parseSceneText(saved, "saved.scene", {});
        } catch (const SceneError& e) {
            Fatal(std::string("the saved network does not parse: ") + e.what() + "\n" + saved);
        }
        if (!Load(host, second, std::move(again), error))
            Fatal("the saved network does not load: " + error + "\n" + saved);
        if (Write(host, second) != saved) Fatal("save, load, save differs:\n" + saved);
        filter.inst.destroy(other);
    }
    pexil::fuzz::ExpectNoMisuse(host);
    filter.inst.destroy(instance);
    return 0;
}
