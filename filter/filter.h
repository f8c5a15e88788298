// The pixel filter's instance record, the module's one node editor, and the
// instance callbacks the host drives.
#pragma once

#include "sdk/handler.h"
#include "sdk/io.h"
#include "sdk/node.h"
#include "sdk/shading.h"

// The render camera of the current frame, as the per-pixel evaluation needs it.
struct CameraFrame {
    double rayOrigin[3];   // start of every pixel's ray
    double width;          // frame width in pixels
    double height;         // frame height in pixels
    double zoom;           // zoom factor: the weight of `forward`
    double right[3];       // unit right axis
    double up[3];          // unit up axis
    double forward[3];     // unit forward axis
    double filmOffset[3];  // subtracted from the film coordinates, component by component
    double pixelAspect;    // scale of film x
};

// One pixel filter in a scene. Allocated zero-filled by FilterCreate.
struct FilterInstance {
    NodeID rootNode;        // the editor's root node, coloured at create
    NodeInputID rootInput;  // the root's input "Output"
    int32_t useCameraEval;  // 1: rays start where the camera evaluator says
    char descLine[32];      // "pexil_nodePF"
    CameraFrame camera;
    HostCameraEvaluatorID cameraEval;  // owned: made at init, released at cleanup
    HostNodalAccess nodalAccess;       // what the network sees of the last hit surface
    FilterInstance* nextLive;          // the module's list of live instances (see filter.cpp)
};

// The module's one node editor; every successful FilterCreate replaces it,
// a failed one sets it to null.
extern NodeEditorID editorID;

// The filter's scene blocks. Only the first is written; the others are
// recognised on load and skipped.
extern const HostBlockIdent blockIdents[5];

inline constexpr char kEditorName[] = "lumnet";
inline constexpr char kEditorTitle[] = "Node pixelfilter";
inline constexpr char kRootInputName[] = "Output";
inline constexpr char kFilterDescription[] = "pexil_nodePF";
inline constexpr uint32_t kFilterFlags = 0x8000000Fu;
inline constexpr char kEditorRefusedError[] = "Node editor creation failed!";

// The one place an opaque instance pointer from the host becomes ours.
inline FilterInstance* AsFilter(void* instance) {
    return static_cast<FilterInstance*>(instance);
}

extern "C" {
void* PX_CDECL FilterCreate(void* priv, void* context, HostError* error) noexcept;
void PX_CDECL FilterDestroy(void* instance) noexcept;
HostError PX_CDECL FilterCopy(void* to, void* from) noexcept;
HostError PX_CDECL FilterLoad(void* instance, const HostLoadState* load) noexcept;
HostError PX_CDECL FilterSave(void* instance, const HostSaveState* save) noexcept;
const char* PX_CDECL FilterDescribe(void* instance) noexcept;
uint32_t PX_CDECL FilterFlags(void* instance) noexcept;

int32_t PX_CDECL RootQuery(NodeEditorID editor) noexcept;
void PX_CDECL RootPreview(NodeEditorID editor, HostNodalAccess* nodal, double* rgb) noexcept;
void PX_CDECL EditorCallback(NodeEditorID editor) noexcept;
}
