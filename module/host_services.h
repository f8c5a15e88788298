// The host's service tables, acquired by the activations and read by every
// callback that calls the host.
#pragma once

#include "sdk/node.h"
#include "sdk/services.h"

struct HostServicesTable {
    const HostEnvelopeFuncs* envelopes;        // "Animation Envelopes"
    const HostChannelInfo* channelInfo;        // "Channel Info 2" (required, never called)
    const HostNodeEditorFuncs* nodeEditor;     // "NodeEditorFuncs"
    const HostItemInfo* itemInfo;              // "LW Item Info 4"
    const HostCameraInfo* cameraInfo;          // "LW Camera Info 5"
    const HostNodeFuncs* node;                 // "NodeFuncs"
    const HostNodeInputFuncs* nodeInput;       // "NodeInputFuncs"
    const HostNodeOutputFuncs* nodeOutput;     // "NodeOutputFuncs"
    const HostSceneInfo* sceneInfo;            // "LW Scene Info 4": a record, read at each use
    const HostInstanceUpdate* instanceUpdate;  // "Instance Update" (required, never called)
    const HostMessageFuncs* messages;          // "Info Messages 2" (required, never called)
    const HostCameraEvalFuncs* cameraEval;     // "LW Camera Evaluation Funcs 2"
    const HostXPanelFuncs* xpanel;             // "LWXPanel" (interface; required, never called)
    const HostImageUtil* imageUtil;  // "Image Utility 2" (interface; optional, never called)
};

// Null at load; each activation overwrites what it acquires. Never released.
extern HostServicesTable HostServices;
