// Activation entries of the module's servers.
#pragma once

#include "sdk/module.h"

inline constexpr char kFilterServerName[] = "pexil_node";
inline constexpr char kSampleNodeServerName[] = "pexil_PFOut";

extern "C" {
int32_t PX_CDECL FilterHandlerActivate(int32_t version, HostGlobalFn global, void* local,
                                       void* serverData) noexcept;
int32_t PX_CDECL FilterInterfaceActivate(int32_t version, HostGlobalFn global, void* local,
                                         void* serverData) noexcept;
int32_t PX_CDECL NodeHandlerActivate(int32_t version, HostGlobalFn global, void* local,
                                     void* serverData) noexcept;
}
