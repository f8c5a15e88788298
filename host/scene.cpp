#include "host/scene.h"

#include <stdexcept>

#include "host/scene_states.h"

namespace pexil::host {
namespace {

const std::set<std::string, std::less<>> kSections = {"Plugin"};

Arg Word(std::string s) {
    return Arg{std::move(s), false};
}

// A semantic error at a statement of the top level.
[[noreturn]] void Fail(const std::string& file, const SceneNode& at,
                       const std::vector<const SceneNode*>& path, const std::string& message) {
    throw SceneError(file, at.line, blockPath(path), message);
}

int IntArg(const std::string& file, const SceneNode& n, std::size_t i, int low, int high) {
    auto v = parseInteger(n.args[i]);
    if (!v || *v < low || *v > high)
        Fail(file, n, {},
             n.keyword + ": '" + n.args[i].text + "' is not a whole number from " +
                 std::to_string(low) + " to " + std::to_string(high));
    return static_cast<int>(*v);
}

void ExpectArgs(const std::string& file, const SceneNode& n, std::size_t count, const char* usage) {
    if (n.args.size() != count)
        Fail(file, n, {},
             n.keyword + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") +
                 ": " + usage);
}

}  // namespace

Scene::Scene(Host& host, const ModuleFile& module) : host_(host), module_(module) {
    host_.useModule(&module_);
}

Scene::~Scene() {
    destroyAll(filters_);
}

void Scene::destroyAll(std::vector<FilterSlot>& slots) {
    for (FilterSlot& s : slots)
        if (s.instance != nullptr) s.records->inst.destroy(s.instance);
    slots.clear();
}

HandlerRecords& Scene::filterHandler(const std::string& server) {
    auto it = handlers_.find(server);
    if (it != handlers_.end()) return *it->second;
    const ServerEntry* entry = module_.find(kPixelFilterHandlerClass, server);
    if (entry == nullptr)
        throw std::runtime_error(module_.path() + " has no pixel filter named " + server);
    auto records = std::make_unique<HandlerRecords>();
    const int32_t code = Activate(*entry, OfferedVersion(kPixelFilterHandlerClass), *records);
    if (code != kActivateOk)
        throw std::runtime_error("pixel filter " + server +
                                 " did not activate: " + ActivationResultText(code) + " (code " +
                                 std::to_string(code) + ")");
    return *handlers_.emplace(server, std::move(records)).first->second;
}

FilterSlot& Scene::addFilter(const std::string& server) {
    HandlerRecords& h = filterHandler(server);
    HostError error = nullptr;
    void* instance = h.inst.create(h.inst.priv, nullptr, &error);
    if (instance == nullptr)
        throw std::runtime_error("pixel filter " + server + " could not create an instance: " +
                                 (error != nullptr ? error : "no reason given"));
    filters_.push_back({server, &h, instance});
    return filters_.back();
}

void Scene::loadFile(const std::string& path) {
    loadText(readSceneFile(path), path);
}

void Scene::loadText(std::string_view text, const std::string& file) {
    const std::vector<SceneNode> top = parseSceneText(text, file, kSections);
    if (top.empty() || top[0].keyword != "PexilScene" || top[0].kind != SceneNode::Kind::Line)
        throw SceneError(
            file, top.empty() ? 0 : top[0].line, "",
            "a scene starts with 'PexilScene " + std::to_string(kSceneFormatVersion) + "'");
    ExpectArgs(file, top[0], 1, "the format version");
    if (IntArg(file, top[0], 0, 0, 1'000'000) != kSceneFormatVersion)
        Fail(file, top[0], {},
             "scene format version " + top[0].args[0].text +
                 " is not supported (this host reads version " +
                 std::to_string(kSceneFormatVersion) + ")");

    // The world first: plug-ins ask about the cameras when they are made.
    WorldReader reader(file);
    std::vector<const SceneNode*> plugins;
    for (std::size_t i = 1; i < top.size(); ++i) {
        const SceneNode& n = top[i];
        if (reader.read(n)) continue;
        if (n.kind == SceneNode::Kind::Section && n.keyword == "Plugin") {
            plugins.push_back(&n);
            continue;
        }
        Fail(file, n, {}, "unknown keyword '" + n.keyword + "'");
    }
    SceneWorld newWorld = reader.finish();

    // What to go back to should the load fail (see below).
    const std::string previous = restoring_ ? std::string() : save();
    const SceneWorld oldWorld = world_;
    InstallCameras(host_, newWorld);
    std::vector<FilterSlot> loaded;
    std::map<std::string, int> nextIndex;
    try {
        for (const SceneNode* section : plugins) {
            loaded.push_back(loadPlugin(*section, file, nextIndex));
        }
    } catch (...) {
        destroyAll(loaded);
        // The filters share one node editor, which the failed load has replaced:
        // the scene as it was is only whole again once it is loaded again.
        InstallCameras(host_, oldWorld);
        if (!restoring_) {
            destroyAll(filters_);
            restoring_ = true;
            try {
                loadText(previous, file);
            } catch (...) {
            }
            restoring_ = false;
        }
        throw;
    }
    destroyAll(filters_);
    filters_ = std::move(loaded);
    world_ = std::move(newWorld);
}

FilterSlot Scene::loadPlugin(const SceneNode& n, const std::string& file,
                             std::map<std::string, int>& nextIndex) {
    ExpectArgs(file, n, 3, "class, index and server name");
    const std::string& cls = n.args[0].text;
    const std::string& server = n.args[2].text;
    if (cls != kPixelFilterHandlerClass)
        Fail(file, n, {}, "plug-in class " + cls + " is not one this host loads");
    const int index = IntArg(file, n, 1, 1, 1'000'000);
    if (index != ++nextIndex[cls])
        Fail(file, n, {},
             cls + " index " + std::to_string(index) + " is out of order (expected " +
                 std::to_string(nextIndex[cls]) + ")");
    HandlerRecords* h = nullptr;
    try {
        h = &filterHandler(server);
    } catch (const std::runtime_error& e) {
        Fail(file, n, {}, e.what());
    }
    HostError error = nullptr;
    void* instance = h->inst.create(h->inst.priv, nullptr, &error);
    if (instance == nullptr)
        Fail(file, n, {},
             "pixel filter " + server + " could not create an instance: " +
                 (error != nullptr ? error : "no reason given"));
    FilterSlot slot{server, h, instance};
    try {
        SceneLoadState state(host_, n, file, {}, server);
        h->inst.load(instance, state.record());
        state.finish();
        if (state.error()) throw *state.error();
    } catch (...) {
        h->inst.destroy(instance);
        throw;
    }
    return slot;
}

std::vector<SceneError> Scene::check(std::string_view text, const std::string& file) {
    std::vector<SceneError> errors;
    std::vector<SceneNode> top;
    try {
        top = parseSceneText(text, file, kSections);
        if (top.empty() || top[0].keyword != "PexilScene" || top[0].kind != SceneNode::Kind::Line)
            throw SceneError(
                file, top.empty() ? 0 : top[0].line, "",
                "a scene starts with 'PexilScene " + std::to_string(kSceneFormatVersion) + "'");
    } catch (const SceneError& e) {
        return {e};
    }
    WorldReader reader(file);
    std::vector<const SceneNode*> plugins;
    for (std::size_t i = 1; i < top.size(); ++i) {
        try {
            if (reader.read(top[i])) continue;
            if (top[i].kind == SceneNode::Kind::Section && top[i].keyword == "Plugin")
                plugins.push_back(&top[i]);
            else
                Fail(file, top[i], {}, "unknown keyword '" + top[i].keyword + "'");
        } catch (const SceneError& e) {
            errors.push_back(e);
        }
    }
    try {
        const SceneWorld world = reader.finish();
        InstallCameras(host_, world);
    } catch (const SceneError& e) {
        errors.push_back(e);
    }
    std::map<std::string, int> nextIndex;
    for (const SceneNode* p : plugins) {
        try {
            FilterSlot slot = loadPlugin(*p, file, nextIndex);
            slot.records->inst.destroy(slot.instance);
        } catch (const SceneError& e) {
            errors.push_back(e);
        }
    }
    InstallCameras(host_, world_);
    return errors;
}

std::string Scene::save() {
    SceneWriter w;
    w.line("PexilScene", {Word(std::to_string(kSceneFormatVersion))});
    WriteWorld(world_, w);
    std::map<std::string, int> index;
    for (const FilterSlot& s : filters_) {
        w.beginSection("Plugin",
                       {Word(kPixelFilterHandlerClass),
                        Word(std::to_string(++index[kPixelFilterHandlerClass])), Word(s.server)});
        SceneSaveState state(host_, w);
        s.records->inst.save(s.instance, state.record());
        state.finish();
        w.endSection();
    }
    return w.text();
}

void Scene::saveFile(const std::string& path) {
    writeFileAtomically(path, save());
}

}  // namespace pexil::host
