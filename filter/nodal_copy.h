// What a network sees of a hit: the shading record's members copied into the
// instance's nodal access record.
#pragma once

#include "sdk/shading.h"

// Copies every mapped member unchanged; bytes 348-351 and 452-455 of the
// nodal record are not written.
void CopyShadingToNodal(const HostShadingRecord& shading, HostNodalAccess& nodal) noexcept;
