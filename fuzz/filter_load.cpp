// Bytes as the content of the filter's Plugin section, handed to the filter's load through the
// host's load state. The load takes anything: a mistake becomes the load state's error, never
// a crash or a misuse of the host; after a load without error, what the instance saves loads
// into another instance and saves the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "host/scene_states.h"
#include "host/scene_text.h"

using namespace pexil::host;
using pexil::fuzz::Fatal;

namespace {

const std::vector<Arg> kPluginArgs = {
    {"PixelFilterHandler", false}, {"1", false}, {"pexil_node", false}};

// Loads `content` (the statements of a Plugin section) into the instance; the error, if any.
std::string Load(Host& host, HandlerRecords& filter, void* instance,
                 std::vector<SceneNode> content) {
    const SceneNode section{SceneNode::Kind::Section, "Plugin", kPluginArgs, 1, 1,
                            std::move(content)};
    SceneLoadState state(host, section, "fuzz.scene", {}, "pexil_node");
    if (filter.inst.load(instance, state.record()) != nullptr) Fatal("load gave an error");
    state.finish();
    return state.error() ? state.error()->what() : "";
}

std::string Save(Host& host, HandlerRecords& filter, void* instance) {
    SceneWriter w;
    SceneSaveState state(host, w);
    if (filter.inst.save(instance, state.record()) != nullptr) Fatal("save gave an error");
    state.finish();
    return w.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<SceneNode> content;
    try {
        content = parseSceneText(std::string_view(reinterpret_cast<const char*>(data), size),
                                 "fuzz.scene", {});
    } catch (const SceneError&) {
        return 0;  // the host rejects the file before any plug-in sees it
    }

    Host host;
    host.config.trace = false;
    host.useModule(&pexil::fuzz::Module());
    HandlerRecords filter;
    pexil::fuzz::ActivateFilter(filter);
    void* first = pexil::fuzz::CreateFilter(filter);
    const std::string error = Load(host, filter, first, std::move(content));
    pexil::fuzz::ExpectNoMisuse(host);
    if (error.empty()) {
        const std::string saved = Save(host, filter, first);
        void* second = pexil::fuzz::CreateFilter(filter);  // the module's editor is now its
        std::vector<SceneNode> again;
        try {
            again = parseSceneText(saved, "saved.scene", {});
        } catch (const SceneError& e) {
            Fatal(std::string("what the filter saved does not parse: ") + e.what() + "\n" + saved);
        }
        const std::string reload = Load(host, filter, second, std::move(again));
        if (!reload.empty()) Fatal("what the filter saved does not load: " + reload + "\n" + saved);
        if (Save(host, filter, second) != saved) Fatal("save, load, save differs:\n" + saved);
        filter.inst.destroy(second);
        pexil::fuzz::ExpectNoMisuse(host);
    }
    filter.inst.destroy(first);
    return 0;
}
