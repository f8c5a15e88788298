// Scenes: the host's text files holding the frame settings and the pixel
// filters, each filter with the data its own save wrote.
//
//   PexilScene 1
//   FrameSize 640 480
//   Plugin PixelFilterHandler 1 pexil_node
//     { Nodes
//       ...
//     }
//   EndPlugin
//
// Loading is all or nothing: a scene with any error throws a SceneError that
// names file, line and block, and every instance made on the way is destroyed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/module_file.h"
#include "host/plugin.h"
#include "host/scene_text.h"
#include "host/scene_world.h"

namespace pexil::host {

inline constexpr int kSceneFormatVersion = 1;

struct FilterSlot {
    std::string server;
    HandlerRecords* records = nullptr;  // the server's activated handler
    void* instance = nullptr;
};

class Scene {
  public:
    Scene(Host& host, const ModuleFile& module);
    ~Scene();  // destroys every instance
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Throws SceneError; the scene is left as it was.
    void loadFile(const std::string& path);
    void loadText(std::string_view text, const std::string& fileName);
    // Every error of a scene text that can be found, in file order: a syntax
    // error stops the reading, other errors are collected statement by
    // statement. The scene itself is not changed (but the module's editor is).
    std::vector<SceneError> check(std::string_view text, const std::string& file);
    // The scene as text, through every instance's own save.
    std::string save();
    // Saves to `path` atomically; throws std::runtime_error on failure.
    void saveFile(const std::string& path);

    // Adds a new filter instance of `server`; throws std::runtime_error with the
    // activation result or the instance's error text in words.
    FilterSlot& addFilter(const std::string& server);

    // Settings, cameras, surfaces, objects and lights as loaded.
    const SceneWorld& world() const { return world_; }
    const RenderSettings& settings() const { return world_.world.settings; }
    const std::vector<FilterSlot>& filters() const { return filters_; }
    // The activated handler of a filter server, activating it on first use.
    // Throws std::runtime_error when the server is missing or refuses.
    HandlerRecords& filterHandler(const std::string& server);

  private:
    FilterSlot loadPlugin(const SceneNode& section, const std::string& file,
                          std::map<std::string, int>& nextIndex);
    void destroyAll(std::vector<FilterSlot>& slots);

    Host& host_;
    const ModuleFile& module_;
    std::map<std::string, std::unique_ptr<HandlerRecords>> handlers_;
    std::vector<FilterSlot> filters_;
    SceneWorld world_;
    bool restoring_ = false;
};

}  // namespace pexil::host
