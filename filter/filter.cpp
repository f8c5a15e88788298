// Instance lifecycle of the pixel filter and the node editor it owns.
#include "filter/filter.h"

#include <cstdlib>
#include <cstring>

#include "module/host_services.h"

NodeEditorID editorID = nullptr;

namespace {

// The instances alive now, linked through the instances themselves. An editor
// outlives the instance that made it and may still name it, or another
// destroyed instance, as its user data (only the latest editor is reachable to
// be cleared); the preview reads user data as an instance only when it is one
// of these.
FilterInstance* liveInstances = nullptr;

void Track(FilterInstance* inst) {
    inst->nextLive = liveInstances;
    liveInstances = inst;
}

void Untrack(const FilterInstance* inst) {
    for (FilterInstance** link = &liveInstances; *link != nullptr; link = &(*link)->nextLive) {
        if (*link == inst) {
            *link = inst->nextLive;
            return;
        }
    }
}

FilterInstance* LiveInstance(const void* data) {
    for (FilterInstance* inst = liveInstances; inst != nullptr; inst = inst->nextLive)
        if (inst == data) return inst;
    return nullptr;
}

}  // namespace

const HostBlockIdent blockIdents[5] = {
    {HostBlockId("NDNO"), "Nodes"},
    {HostBlockId("NDAP"), "Amplitude"},
    {HostBlockId("NDUA"), "UseAxis"},
    {HostBlockId("NDAX"), "Axis"},
    {0, nullptr},
};

extern "C" void* PX_CDECL FilterCreate(void*, void*, HostError* error) noexcept {
    auto* inst = static_cast<FilterInstance*>(std::calloc(1, sizeof(FilterInstance)));
    if (inst == nullptr) return nullptr;
    Track(inst);

    const HostServicesTable& s = HostServices;
    HostItemID camera = s.itemInfo->first(kItemCamera, nullptr);
    HostChannelGroupID group = s.itemInfo->channelGroup(camera);

    HostNodeRootDesc rootDesc = {};
    rootDesc.query = RootQuery;
    rootDesc.preview = RootPreview;
    editorID = s.nodeEditor->create(kEditorName, kEditorTitle, &rootDesc, inst);
    if (editorID == nullptr) {
        Untrack(inst);
        std::free(inst);
        if (error != nullptr) *error = kEditorRefusedError;
        return nullptr;
    }

    s.nodeEditor->setChannelGroup(editorID, group);
    inst->rootNode = s.nodeEditor->rootNode(editorID);
    s.nodeEditor->setCallback(editorID, EditorCallback);
    inst->rootInput = s.nodeEditor->addInput(editorID, kConnectionColor, kRootInputName, nullptr);
    s.node->setColor(inst->rootNode, 10, 10, 10);
    s.nodeEditor->notify(editorID, 4);
    return inst;
}

extern "C" void PX_CDECL FilterDestroy(void* instance) noexcept {
    FilterInstance* inst = AsFilter(instance);
    if (inst == nullptr) return;
    // The editor outlives its instances: make sure it does not keep naming this one.
    if (editorID != nullptr && HostServices.nodeEditor->getUserData(editorID) == inst)
        HostServices.nodeEditor->setUserData(editorID, nullptr);
    Untrack(inst);
    std::free(inst);
}

extern "C" HostError PX_CDECL FilterCopy(void* to, void* from) noexcept {
    FilterInstance* dst = AsFilter(to);
    const FilterInstance* src = AsFilter(from);
    // Everything is copied except the camera evaluator (each instance releases
    // the one it made, so two instances must never hold the same one) and the
    // link of the list of live instances.
    if (dst == src) return nullptr;  // a copy onto itself changes nothing
    HostCameraEvaluatorID ownEvaluator = dst->cameraEval;
    FilterInstance* ownLink = dst->nextLive;
    std::memcpy(dst, src, sizeof(FilterInstance));
    dst->cameraEval = ownEvaluator;
    dst->nextLive = ownLink;
    return nullptr;
}

extern "C" HostError PX_CDECL FilterLoad(void*, const HostLoadState* load) noexcept {
    const HostNodeEditorFuncs* editor = HostServices.nodeEditor;
    if (editorID != nullptr) editor->present(editorID);
    while (uint32_t id = load->findId(load->data, blockIdents)) {
        if (id == blockIdents[0].id && editorID != nullptr) editor->load(editorID, load);
        load->endBlock(load->data);
    }
    return nullptr;
}

extern "C" HostError PX_CDECL FilterSave(void*, const HostSaveState* save) noexcept {
    save->beginBlock(save->data, &blockIdents[0], 0);
    if (editorID != nullptr) HostServices.nodeEditor->save(editorID, save);
    save->endBlock(save->data);
    return nullptr;
}

extern "C" const char* PX_CDECL FilterDescribe(void* instance) noexcept {
    FilterInstance* inst = AsFilter(instance);
    std::memcpy(inst->descLine, kFilterDescription, sizeof(kFilterDescription));
    return inst->descLine;
}

extern "C" uint32_t PX_CDECL FilterFlags(void*) noexcept {
    return kFilterFlags;
}

extern "C" int32_t PX_CDECL RootQuery(NodeEditorID editor) noexcept {
    (void)HostServices.nodeEditor->getUserData(editor);
    return 0;
}

extern "C" void PX_CDECL RootPreview(NodeEditorID editor, HostNodalAccess* nodal,
                                     double* rgb) noexcept {
    double color[3] = {0.0, 0.0, 0.0};
    if (FilterInstance* inst = LiveInstance(HostServices.nodeEditor->getUserData(editor)))
        HostServices.nodeInput->evaluate(inst->rootInput, nodal, color);
    rgb[0] = color[0];
    rgb[1] = color[1];
    rgb[2] = color[2];
}

extern "C" void PX_CDECL EditorCallback(NodeEditorID editor) noexcept {
    (void)HostServices.nodeEditor->getUserData(editor);
}
