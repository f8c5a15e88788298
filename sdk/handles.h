// Opaque handles the host hands out. The module never looks inside them; it
// only passes them back to the host's operations.
#pragma once

typedef struct HostNodeEditorTag* NodeEditorID;  // a node editor (one network)
typedef struct HostNodeTag* NodeID;              // a node in a network
typedef struct HostNodeInputTag* NodeInputID;    // an input of a node
typedef struct HostNodeOutputTag* NodeOutputID;  // an output of a node
typedef struct HostNodeValueTag* NodeValue;      // where an output's value goes during evaluation
typedef struct HostItemTag* HostItemID;          // a scene item (camera, object, light)
typedef struct HostChannelGroupTag* HostChannelGroupID;   // a group of animation channels
typedef struct HostCameraEvalTag* HostCameraEvaluatorID;  // a camera evaluator

// Connection types of node inputs and outputs.
enum HostConnectionType : int {
    kConnectionColor = 1,   // three doubles: red, green, blue
    kConnectionScalar = 2,  // one double
};
