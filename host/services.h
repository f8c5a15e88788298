// The service tables the host offers, by name.
#pragma once

#include "sdk/abi.h"
#include "sdk/handles.h"

namespace pexil::host::services {

// The table (or record) offered under `name`, or null for a name the host does not know.
void* Table(const char* name);

// "LW Scene Info 4" byte 92: the camera that renders at a time.
HostItemID PX_CDECL RenderCamera(double time);

}  // namespace pexil::host::services
