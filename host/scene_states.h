// The load and save states the host hands to a server's load and save: a
// cursor over the server's section of a parsed scene file, and a writer
// positioned inside the section being saved.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/scene_text.h"
#include "sdk/io.h"

namespace pexil::host {

class Host;

class SceneLoadState {
  public:
    // `section` is the server's section; `outer` the blocks around it.
    SceneLoadState(Host& host, const SceneNode& section, std::string file,
                   std::vector<const SceneNode*> outer, std::string owner);
    SceneLoadState(const SceneLoadState&) = delete;
    SceneLoadState& operator=(const SceneLoadState&) = delete;

    const HostLoadState* record() const { return &record_; }
    // The state behind a record the host gave out, or null.
    static SceneLoadState* From(const HostLoadState* record);

    // Statements of the innermost open block not yet read; they count as read.
    std::vector<const SceneNode*> takeRemaining();
    // Records a content error at `line` within the innermost open block; the first one is kept.
    void fail(int line, const std::string& message);
    // After the server's load: everything it left unread in its section is an
    // error (it would be lost on the next save), as are blocks left open.
    void finish();
    const std::optional<SceneError>& error() const { return error_; }
    const std::string& file() const { return file_; }
    // The blocks open now, from the outside in.
    std::vector<const SceneNode*> pathTo() const { return path(); }

  private:
    static uint32_t PX_CDECL FindId(void* data, const HostBlockIdent* idents);
    static void PX_CDECL EndBlock(void* data);
    void unread(const SceneNode& n);
    std::vector<const SceneNode*> path() const;

    struct Frame {
        const SceneNode* block;
        std::size_t next = 0;
    };
    uint32_t magic_;
    HostLoadState record_{};
    Host& host_;
    std::string file_, owner_;
    std::vector<const SceneNode*> outer_;
    std::vector<Frame> frames_;
    std::optional<SceneError> error_;
};

class SceneSaveState {
  public:
    SceneSaveState(Host& host, SceneWriter& writer);
    SceneSaveState(const SceneSaveState&) = delete;
    SceneSaveState& operator=(const SceneSaveState&) = delete;

    const HostSaveState* record() const { return &record_; }
    static SceneSaveState* From(const HostSaveState* record);
    SceneWriter& writer() { return writer_; }
    // After the server's save: closes blocks it left open (a misuse).
    void finish();

  private:
    static void PX_CDECL BeginBlock(void* data, const HostBlockIdent* ident, int32_t leaf);
    static void PX_CDECL EndBlock(void* data);

    uint32_t magic_;
    HostSaveState record_{};
    Host& host_;
    SceneWriter& writer_;
    std::vector<std::string> open_;
};

}  // namespace pexil::host
