#include "host/scene_states.h"

#include "host/host.h"

namespace pexil::host {
namespace {

constexpr uint32_t kLoadMagic = 0x4C4F4144;  // "LOAD"
constexpr uint32_t kSaveMagic = 0x53415645;  // "SAVE"

std::string IdText(uint32_t id) {
    std::string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t;
}

}  // namespace

SceneLoadState::SceneLoadState(Host& host, const SceneNode& section, std::string file,
                               std::vector<const SceneNode*> outer, std::string owner)
    : magic_(kLoadMagic),
      host_(host),
      file_(std::move(file)),
      owner_(std::move(owner)),
      outer_(std::move(outer)) {
    record_.ioMode = kHostIoText;
    record_.data = this;
    record_.findId = FindId;
    record_.endBlock = EndBlock;
    frames_.push_back({&section});
}

SceneLoadState* SceneLoadState::From(const HostLoadState* record) {
    if (record == nullptr || record->data == nullptr) return nullptr;
    auto* s = static_cast<SceneLoadState*>(record->data);
    return s->magic_ == kLoadMagic && record == &s->record_ ? s : nullptr;
}

std::vector<const SceneNode*> SceneLoadState::path() const {
    std::vector<const SceneNode*> p = outer_;
    for (const Frame& f : frames_) p.push_back(f.block);
    return p;
}

void SceneLoadState::fail(int line, const std::string& message) {
    if (!error_) error_.emplace(file_, line, blockPath(path()), message);
}

void SceneLoadState::unread(const SceneNode& n) {
    const std::string what =
        n.kind == SceneNode::Kind::Brace ? "block '" + n.keyword + "'" : "'" + n.keyword + "'";
    fail(n.line, what + " is not read by " + owner_ + " and would be lost");
}

std::vector<const SceneNode*> SceneLoadState::takeRemaining() {
    Frame& f = frames_.back();
    std::vector<const SceneNode*> rest;
    for (; f.next < f.block->children.size(); ++f.next) rest.push_back(&f.block->children[f.next]);
    return rest;
}

uint32_t PX_CDECL SceneLoadState::FindId(void* data, const HostBlockIdent* idents) {
    auto* s = static_cast<SceneLoadState*>(data);
    if (s == nullptr || s->magic_ != kLoadMagic) {
        if (Host* h = Host::current()) h->reportMisuse("load state find id: not a load state");
        return 0;
    }
    if (idents == nullptr) {
        s->host_.reportMisuse("load state find id: no block ident table");
        return 0;
    }
    Frame& f = s->frames_.back();
    while (f.next < f.block->children.size()) {
        const SceneNode& child = f.block->children[f.next++];
        if (child.kind == SceneNode::Kind::Brace) {
            for (const HostBlockIdent* e = idents; e->id != 0; ++e) {
                if (e->token != nullptr && child.keyword == e->token) {
                    s->host_.trace().add({"LoadState", 0, "find id", {IdText(e->id)}});
                    s->frames_.push_back({&child});
                    return e->id;
                }
            }
        }
        s->unread(child);
    }
    s->host_.trace().add({"LoadState", 0, "find id", {"0"}});
    return 0;
}

void PX_CDECL SceneLoadState::EndBlock(void* data) {
    auto* s = static_cast<SceneLoadState*>(data);
    if (s == nullptr || s->magic_ != kLoadMagic) {
        if (Host* h = Host::current()) h->reportMisuse("load state end block: not a load state");
        return;
    }
    if (s->frames_.size() < 2) {
        s->host_.reportMisuse("load state end block: no block is open");
        return;
    }
    s->host_.trace().add({"LoadState", 0, "end block", {s->frames_.back().block->keyword}});
    s->frames_.pop_back();
}

void SceneLoadState::finish() {
    if (frames_.size() > 1) {
        host_.reportMisuse(owner_ + " left " + std::to_string(frames_.size() - 1) +
                           " block(s) open after loading");
        frames_.resize(1);
    }
    Frame& f = frames_.back();
    for (; f.next < f.block->children.size(); ++f.next) unread(f.block->children[f.next]);
}

SceneSaveState::SceneSaveState(Host& host, SceneWriter& writer)
    : magic_(kSaveMagic), host_(host), writer_(writer) {
    record_.ioMode = kHostIoText;
    record_.data = this;
    record_.beginBlock = BeginBlock;
    record_.endBlock = EndBlock;
}

SceneSaveState* SceneSaveState::From(const HostSaveState* record) {
    if (record == nullptr || record->data == nullptr) return nullptr;
    auto* s = static_cast<SceneSaveState*>(record->data);
    return s->magic_ == kSaveMagic && record == &s->record_ ? s : nullptr;
}

void PX_CDECL SceneSaveState::BeginBlock(void* data, const HostBlockIdent* ident, int32_t leaf) {
    auto* s = static_cast<SceneSaveState*>(data);
    if (s == nullptr || s->magic_ != kSaveMagic) {
        if (Host* h = Host::current()) h->reportMisuse("save state begin block: not a save state");
        return;
    }
    if (ident == nullptr || ident->token == nullptr || ident->id == 0) {
        s->host_.reportMisuse("save state begin block: the block ident has no ID or no name");
        return;
    }
    s->host_.trace().add({"SaveState",
                          0,
                          "begin block",
                          {IdText(ident->id), ident->token, "leaf " + std::to_string(leaf)}});
    try {
        s->writer_.beginBrace(ident->token);
        s->open_.push_back(ident->token);
    } catch (const std::exception& e) {
        s->host_.reportMisuse(std::string("save state begin block: ") + e.what());
    }
}

void PX_CDECL SceneSaveState::EndBlock(void* data) {
    auto* s = static_cast<SceneSaveState*>(data);
    if (s == nullptr || s->magic_ != kSaveMagic) {
        if (Host* h = Host::current()) h->reportMisuse("save state end block: not a save state");
        return;
    }
    if (s->open_.empty()) {
        s->host_.reportMisuse("save state end block: no block is open");
        return;
    }
    s->host_.trace().add({"SaveState", 0, "end block", {s->open_.back()}});
    s->writer_.endBrace();
    s->open_.pop_back();
}

void SceneSaveState::finish() {
    if (open_.empty()) return;
    host_.reportMisuse("a server left " + std::to_string(open_.size()) +
                       " block(s) open after saving");
    while (!open_.empty()) {
        writer_.endBrace();
        open_.pop_back();
    }
}

}  // namespace pexil::host
