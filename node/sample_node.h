// The pixel sample node: 26 outputs through which a network reads the pixel
// being filtered.
#pragma once

#include "sdk/handler.h"
#include "sdk/io.h"

struct SampleNodeInstance {
    HostChannelGroupID channelGroup;  // "PF_output", made under the node's own group
    NodeID nodeID;                    // the host's node this instance belongs to
};

inline constexpr char kSampleNodeGroupName[] = "PF_output";
inline constexpr char kOutOfMemoryError[] = "Couldn't allocate memory for instance.";

// The one place an opaque node instance pointer from the host becomes ours.
inline SampleNodeInstance* AsSampleNode(void* instance) {
    return static_cast<SampleNodeInstance*>(instance);
}

extern "C" {
void* PX_CDECL SampleNodeCreate(void* priv, void* context, HostError* error) noexcept;
void PX_CDECL SampleNodeDestroy(void* instance) noexcept;
HostError PX_CDECL SampleNodeCopy(void* to, void* from) noexcept;
HostError PX_CDECL SampleNodeLoad(void* instance, const HostLoadState* load) noexcept;
HostError PX_CDECL SampleNodeSave(void* instance, const HostSaveState* save) noexcept;
HostError PX_CDECL SampleNodeInit(void* instance, int32_t mode) noexcept;
void PX_CDECL SampleNodeCleanup(void* instance) noexcept;
HostError PX_CDECL SampleNodeNewTime(void* instance, int32_t frame, double time) noexcept;
void PX_CDECL SampleNodeEvaluate(void* instance, HostNodalAccess* nodal, NodeOutputID output,
                                 NodeValue value) noexcept;
}
