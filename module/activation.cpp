// Activation of the three servers. The activations are the only code that
// acquires host services; every other callback reads HostServices.
#include "module/activation.h"

#include "filter/camera.h"
#include "filter/evaluate.h"
#include "filter/filter.h"
#include "module/host_services.h"
#include "node/sample_node.h"
#include "sdk/handler.h"

namespace {

template <typename Table>
const Table* Acquire(HostGlobalFn global, const char* name) {
    return static_cast<const Table*>(global(name, 0));
}

}  // namespace

extern "C" int32_t PX_CDECL FilterHandlerActivate(int32_t version, HostGlobalFn global, void* local,
                                                  void*) noexcept {
    if (version != kPixelFilterHandlerVersion) return kActivateBadVersion;

    // Every service is requested before any is tested; each result is stored
    // as it arrives, null included.
    HostServicesTable& s = HostServices;
    s.envelopes = Acquire<HostEnvelopeFuncs>(global, kEnvelopeFuncsName);
    s.channelInfo = Acquire<HostChannelInfo>(global, kChannelInfoName);
    s.nodeEditor = Acquire<HostNodeEditorFuncs>(global, kNodeEditorFuncsName);
    s.itemInfo = Acquire<HostItemInfo>(global, kItemInfoName);
    s.cameraInfo = Acquire<HostCameraInfo>(global, kCameraInfoName);
    s.node = Acquire<HostNodeFuncs>(global, kNodeFuncsName);
    s.nodeInput = Acquire<HostNodeInputFuncs>(global, kNodeInputFuncsName);
    s.nodeOutput = Acquire<HostNodeOutputFuncs>(global, kNodeOutputFuncsName);
    s.sceneInfo = Acquire<HostSceneInfo>(global, kSceneInfoName);
    s.instanceUpdate = Acquire<HostInstanceUpdate>(global, kInstanceUpdateName);
    s.messages = Acquire<HostMessageFuncs>(global, kMessageFuncsName);
    s.cameraEval = Acquire<HostCameraEvalFuncs>(global, kCameraEvalFuncsName);

    const void* const required[] = {
        s.itemInfo,  s.envelopes,  s.channelInfo, s.nodeEditor,     s.cameraInfo, s.node,
        s.nodeInput, s.nodeOutput, s.sceneInfo,   s.instanceUpdate, s.messages,   s.cameraEval,
    };
    for (const void* service : required)
        if (service == nullptr) return kActivateNoService;

    auto* handler = static_cast<HostPixelFilterHandler*>(local);
    HostInstanceFuncs& inst = *handler->inst;
    inst.priv = reinterpret_cast<void*>(global);
    inst.create = FilterCreate;
    inst.destroy = FilterDestroy;
    inst.copy = FilterCopy;
    inst.load = FilterLoad;
    inst.save = FilterSave;
    inst.describe = FilterDescribe;
    HostRenderFuncs& rend = *handler->rend;
    rend.init = FilterInit;
    rend.cleanup = FilterCleanup;
    rend.newTime = FilterNewTime;
    handler->evaluate = FilterEvaluate;
    handler->flags = FilterFlags;
    return kActivateOk;
}

extern "C" int32_t PX_CDECL FilterInterfaceActivate(int32_t version, HostGlobalFn global,
                                                    void* local, void*) noexcept {
    if (version != kPixelFilterInterfaceVersion) return kActivateBadVersion;

    HostServices.xpanel = Acquire<HostXPanelFuncs>(global, kXPanelFuncsName);
    if (HostServices.xpanel == nullptr) return kActivateNoService;
    // The image utilities are acquired but not required.
    HostServices.imageUtil = Acquire<HostImageUtil>(global, kImageUtilName);

    auto* ui = static_cast<HostInterface*>(local);
    ui->options = nullptr;
    ui->command = nullptr;

    // Opening the interface presents the module's node editor, whichever
    // instance it was opened for.
    if (editorID != nullptr) HostServices.nodeEditor->present(editorID);
    return kActivateOk;
}

extern "C" int32_t PX_CDECL NodeHandlerActivate(int32_t version, HostGlobalFn global, void* local,
                                                void*) noexcept {
    if (version != kNodeHandlerVersion) return kActivateBadVersion;

    // The node needs what the filter handler's activation acquired.
    const HostServicesTable& s = HostServices;
    const void* const required[] = {s.node, s.nodeEditor, s.nodeInput, s.nodeOutput};
    for (const void* service : required)
        if (service == nullptr) return kActivateNoService;

    // Nodes live in the filter's editor: without a ready one there is nowhere to put them.
    if (editorID == nullptr) return kActivateNoEditor;
    if (s.nodeEditor->isReady(editorID) == 0) return kActivateNoEditor;

    auto* handler = static_cast<HostNodeHandler*>(local);
    HostInstanceFuncs& inst = *handler->inst;  // the describe-line member stays the host's
    inst.priv = reinterpret_cast<void*>(global);
    inst.create = SampleNodeCreate;
    inst.destroy = SampleNodeDestroy;
    inst.copy = SampleNodeCopy;
    inst.load = SampleNodeLoad;
    inst.save = SampleNodeSave;
    HostRenderFuncs& rend = *handler->rend;
    rend.init = SampleNodeInit;
    rend.cleanup = SampleNodeCleanup;
    rend.newTime = SampleNodeNewTime;
    handler->evaluate = SampleNodeEvaluate;
    return kActivateOk;
}
