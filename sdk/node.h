// Node editor and node services: the editor that holds a server's network,
// and the operations on nodes, their inputs and their outputs.
#pragma once

#include "sdk/abi.h"
#include "sdk/handles.h"

struct HostLoadState;
struct HostSaveState;
struct HostNodalAccess;

typedef int32_t(PX_CDECL* HostRootQueryFn)(NodeEditorID editor);
typedef void(PX_CDECL* HostRootPreviewFn)(NodeEditorID editor, HostNodalAccess* nodal, double* rgb);
typedef void(PX_CDECL* HostEditorCallbackFn)(NodeEditorID editor);
// Told about connection changes of an editor's root input; may be null.
typedef int32_t(PX_CDECL* HostInputEventFn)(void* userData, NodeInputID input, int32_t event,
                                            int32_t type);

// Description of an editor's root node, handed to the editor's creation. The
// host copies what it needs during that call. Eight pointer-sized members.
struct HostNodeRootDesc {
    void* reserved1;            // byte 0
    void* reserved2;            // byte 4
    void* reserved3;            // byte 8
    void* reserved4;            // byte 12
    HostRootQueryFn query;      // byte 16: asked by the host about the root; answers 0
    void* reserved6;            // byte 20
    HostRootPreviewFn preview;  // byte 24: the root's colour for the editor's preview
    void* reserved8;            // byte 28
};
PX_AT(HostNodeRootDesc, query, 16);
PX_AT(HostNodeRootDesc, preview, 24);
PX_SIZE(HostNodeRootDesc, 32);

inline constexpr char kNodeEditorFuncsName[] = "NodeEditorFuncs";
struct HostNodeEditorFuncs {
    // 1 create: (name, title, root description, user data) -> editor, or null when refused
    NodeEditorID(PX_CDECL* create)(const char* name, const char* title,
                                   const HostNodeRootDesc* root, void* userData);
    HostReservedFn op2;  // 2
    HostReservedFn op3;  // 3
    // 4 set callback: (editor, callback) the host calls back whenever the network changes
    void(PX_CDECL* setCallback)(NodeEditorID editor, HostEditorCallbackFn callback);
    HostReservedFn op5;                                                       // 5
    int32_t(PX_CDECL* save)(NodeEditorID editor, const HostSaveState* save);  // 6: network -> state
    int32_t(PX_CDECL* load)(NodeEditorID editor, const HostLoadState* load);  // 7: state -> network
    int32_t(PX_CDECL* init)(NodeEditorID editor, int32_t mode);               // 8: before a render
    // 9 new time: (editor, frame, time) before each frame
    int32_t(PX_CDECL* newTime)(NodeEditorID editor, int32_t frame, double time);
    void(PX_CDECL* cleanup)(NodeEditorID editor);  // 10: after a render
    // 11 add root input: (editor, connection type, name, event callback or null) -> input
    NodeInputID(PX_CDECL* addInput)(NodeEditorID editor, int32_t type, const char* name,
                                    HostInputEventFn event);
    // 12 set channel group: (editor, group) under which the network's channels live
    void(PX_CDECL* setChannelGroup)(NodeEditorID editor, HostChannelGroupID group);
    HostReservedFn op13;                                           // 13
    void(PX_CDECL* setUserData)(NodeEditorID editor, void* data);  // 14
    void*(PX_CDECL* getUserData)(NodeEditorID editor);             // 15
    HostReservedFn op16;                                           // 16
    HostReservedFn op17;                                           // 17
    HostReservedFn op18;                                           // 18
    HostReservedFn op19;                                           // 19
    // 20 notify: (editor, event) tells the editor what its owner is doing
    // (4 after creation, 1 around a render and each frame)
    void(PX_CDECL* notify)(NodeEditorID editor, int32_t event);
    void(PX_CDECL* present)(NodeEditorID editor);     // 21: shows the network to the user
    int32_t(PX_CDECL* isReady)(NodeEditorID editor);  // 22: nonzero when nodes may be added
    NodeID(PX_CDECL* rootNode)(NodeEditorID editor);  // 23: the root node
};

inline constexpr char kNodeInputFuncsName[] = "NodeInputFuncs";
struct HostNodeInputFuncs {
    HostReservedFn op1;  // 1
    HostReservedFn op2;  // 2
    // 3 evaluate: (input, nodal record, place for the value: 1 or 3 doubles) -> nonzero if set
    int32_t(PX_CDECL* evaluate)(NodeInputID input, HostNodalAccess* nodal, void* value);
    int32_t(PX_CDECL* connected)(NodeInputID input);  // 4: nonzero when something feeds it
};

inline constexpr char kNodeOutputFuncsName[] = "NodeOutputFuncs";
struct HostNodeOutputFuncs {
    // 1 create: (node, connection type, name) -> the new output, numbered after the earlier ones
    NodeOutputID(PX_CDECL* create)(NodeID node, int32_t type, const char* name);
    HostReservedFn op2;  // 2
    // 3 set value: (value handle, address of 1 or 3 doubles); taken during the call
    int32_t(PX_CDECL* setValue)(NodeValue value, void* data);
    HostReservedFn op4;   // 4
    HostReservedFn op5;   // 5
    HostReservedFn op6;   // 6
    HostReservedFn op7;   // 7
    HostReservedFn op8;   // 8
    HostReservedFn op9;   // 9
    HostReservedFn op10;  // 10
    // 11 number: (node, output) -> the output's position among the node's outputs, from 1
    int32_t(PX_CDECL* number)(NodeID node, NodeOutputID output);
};

inline constexpr char kNodeFuncsName[] = "NodeFuncs";
struct HostNodeFuncs {
    HostReservedFn op1;                                       // 1
    HostReservedFn op2;                                       // 2
    HostChannelGroupID(PX_CDECL* channelGroup)(NodeID node);  // 3: the node's channel group
    HostReservedFn op4;                                       // 4
    // 5 set colour: (node, red, green, blue) of the node in the editor, 0-255
    void(PX_CDECL* setColor)(NodeID node, int32_t red, int32_t green, int32_t blue);
};
