// The records a handler activation fills: instance, item and render functions,
// and the handler records of the two server classes we implement.
#pragma once

#include "sdk/abi.h"
#include "sdk/handles.h"

struct HostLoadState;
struct HostSaveState;
struct HostPixelAccess;
struct HostNodalAccess;

// Instance lifecycle callbacks of a handler.
struct HostInstanceFuncs {
    void* priv;  // byte 0: handed back as create's first argument
    // byte 4: (priv, context, error out) -> new instance, or null with *error set (or not)
    void*(PX_CDECL* create)(void* priv, void* context, HostError* error);
    void(PX_CDECL* destroy)(void* instance);                          // byte 8
    HostError(PX_CDECL* copy)(void* to, void* from);                  // byte 12
    HostError(PX_CDECL* load)(void* instance, const HostLoadState*);  // byte 16
    HostError(PX_CDECL* save)(void* instance, const HostSaveState*);  // byte 20
    const char*(PX_CDECL* describe)(void* instance);                  // byte 24: description line
};
PX_AT(HostInstanceFuncs, priv, 0);
PX_AT(HostInstanceFuncs, create, 4);
PX_AT(HostInstanceFuncs, destroy, 8);
PX_AT(HostInstanceFuncs, copy, 12);
PX_AT(HostInstanceFuncs, load, 16);
PX_AT(HostInstanceFuncs, save, 20);
PX_AT(HostInstanceFuncs, describe, 24);
PX_SIZE(HostInstanceFuncs, 28);

// Item dependency callbacks; none of our servers fills them.
struct HostItemFuncs {
    HostReservedFn useItems;  // byte 0
    HostReservedFn changeID;  // byte 4
};
PX_SIZE(HostItemFuncs, 8);

// Render-time callbacks.
struct HostRenderFuncs {
    HostError(PX_CDECL* init)(void* instance, int32_t mode);                   // byte 0
    void(PX_CDECL* cleanup)(void* instance);                                   // byte 4
    HostError(PX_CDECL* newTime)(void* instance, int32_t frame, double time);  // byte 8
};
PX_AT(HostRenderFuncs, init, 0);
PX_AT(HostRenderFuncs, cleanup, 4);
PX_AT(HostRenderFuncs, newTime, 8);
PX_SIZE(HostRenderFuncs, 12);

// Class "PixelFilterHandler".
struct HostPixelFilterHandler {
    HostInstanceFuncs* inst;  // byte 0
    HostItemFuncs* item;      // byte 4
    HostRenderFuncs* rend;    // byte 8
    void(PX_CDECL* evaluate)(void* instance,
                             const HostPixelAccess* pixel);  // byte 12: once per pixel
    uint32_t(PX_CDECL* flags)(void* instance);               // byte 16
};
PX_AT(HostPixelFilterHandler, inst, 0);
PX_AT(HostPixelFilterHandler, item, 4);
PX_AT(HostPixelFilterHandler, rend, 8);
PX_AT(HostPixelFilterHandler, evaluate, 12);
PX_AT(HostPixelFilterHandler, flags, 16);
PX_SIZE(HostPixelFilterHandler, 20);

// Class "NodeHandler".
struct HostNodeHandler {
    HostInstanceFuncs* inst;  // byte 0
    HostItemFuncs* item;      // byte 4
    HostRenderFuncs* rend;    // byte 8
    // byte 12: set the value of `output` through `value` for the pixel the nodal record describes
    void(PX_CDECL* evaluate)(void* instance, HostNodalAccess* nodal, NodeOutputID output,
                             NodeValue value);
    HostReservedFn customPreview;  // byte 16: a node's own preview; not provided by our nodes
};
PX_AT(HostNodeHandler, inst, 0);
PX_AT(HostNodeHandler, item, 4);
PX_AT(HostNodeHandler, rend, 8);
PX_AT(HostNodeHandler, evaluate, 12);
PX_AT(HostNodeHandler, customPreview, 16);
PX_SIZE(HostNodeHandler, 20);

// Interface classes ("PixelFilterInterface", "NodeInterface").
struct HostInterface {
    void* instance;                                // byte 0: the instance being edited
    void* panel;                                   // byte 4: a panel of the host's
    HostError(PX_CDECL* options)(void* instance);  // byte 8: opens the options
    HostError(PX_CDECL* command)(void* instance, const char* cmd);  // byte 12: runs a command
};
PX_AT(HostInterface, instance, 0);
PX_AT(HostInterface, panel, 4);
PX_AT(HostInterface, options, 8);
PX_AT(HostInterface, command, 12);
PX_SIZE(HostInterface, 16);

// Class versions our servers accept.
inline constexpr int32_t kPixelFilterHandlerVersion = 6;
inline constexpr int32_t kPixelFilterInterfaceVersion = 4;
inline constexpr int32_t kNodeHandlerVersion = 1;
