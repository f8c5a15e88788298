#include "node/sample_node.h"

#include <cstdlib>

#include "filter/pixel_sample.h"
#include "module/host_services.h"

extern "C" void* PX_CDECL SampleNodeCreate(void*, void* context, HostError* error) noexcept {
    auto* node = static_cast<SampleNodeInstance*>(std::calloc(1, sizeof(SampleNodeInstance)));
    if (node == nullptr) {
        if (error != nullptr) *error = kOutOfMemoryError;
        return nullptr;
    }
    const HostServicesTable& s = HostServices;
    node->nodeID = static_cast<NodeID>(context);
    node->channelGroup =
        s.envelopes->createGroup(s.node->channelGroup(node->nodeID), kSampleNodeGroupName);
    // Creation order fixes the numbers the host gives the outputs.
    for (const SampleOutput& out : kSampleOutputs)
        s.nodeOutput->create(node->nodeID, out.type, out.name);
    s.node->setColor(node->nodeID, 10, 40, 10);
    return node;
}

extern "C" void PX_CDECL SampleNodeDestroy(void* instance) noexcept {
    if (SampleNodeInstance* node = AsSampleNode(instance)) std::free(node);
}

// The node has no settings: nothing to copy, load or save, and nothing to
// prepare for a render.
extern "C" HostError PX_CDECL SampleNodeCopy(void*, void*) noexcept {
    return nullptr;
}
extern "C" HostError PX_CDECL SampleNodeLoad(void*, const HostLoadState*) noexcept {
    return nullptr;
}
extern "C" HostError PX_CDECL SampleNodeSave(void*, const HostSaveState*) noexcept {
    return nullptr;
}
extern "C" HostError PX_CDECL SampleNodeInit(void*, int32_t) noexcept {
    return nullptr;
}
extern "C" void PX_CDECL SampleNodeCleanup(void*) noexcept {}
extern "C" HostError PX_CDECL SampleNodeNewTime(void*, int32_t, double) noexcept {
    return nullptr;
}

extern "C" void PX_CDECL SampleNodeEvaluate(void* instance, HostNodalAccess*, NodeOutputID output,
                                            NodeValue value) noexcept {
    const HostServicesTable& s = HostServices;
    double triple[3] = {0.0, 0.0, 0.0};
    const int number = s.nodeOutput->number(AsSampleNode(instance)->nodeID, output);
    if (number == 0) {
        s.nodeOutput->setValue(value, triple);
        return;
    }
    if (number < 1 || number > kSampleOutputCount) return;
    const SampleOutput& out = kSampleOutputs[number - 1];
    if (out.value != nullptr) {
        // Handed over where it lies; the host takes the value during the call.
        s.nodeOutput->setValue(value, const_cast<double*>(out.value));
        return;
    }
    for (int i = 0; i < 3; ++i) triple[i] = *out.parts[i];
    s.nodeOutput->setValue(value, triple);
}
