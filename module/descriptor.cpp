// The module's face towards the host: the exported descriptor and the table
// of the four servers it offers.
#include "filter/filter.h"
#include "module/activation.h"
#include "module/export.h"
#include "sdk/module.h"

namespace {

// The host calls these once after loading and once before unloading.
void* PX_CDECL ModuleStartup(void) noexcept {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(4));
}

void PX_CDECL ModuleShutdown(void*) noexcept {}

const HostServerRecord kServers[] = {
    {kPixelFilterHandlerClass, kFilterServerName, FilterHandlerActivate, nullptr},
    {kPixelFilterInterfaceClass, kFilterServerName, FilterInterfaceActivate, nullptr},
    {kNodeHandlerClass, kSampleNodeServerName, NodeHandlerActivate, nullptr},
    {kNodeInterfaceClass, kSampleNodeServerName, nullptr, nullptr},  // the node has no interface
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" PX_EXPORT HostModuleDescriptor _mod_descrip;
HostModuleDescriptor _mod_descrip = {
    kHostModuleSync, kHostModuleVersion, kHostModuleMachine,
    ModuleStartup,   ModuleShutdown,     kServers,
};

#if defined(_WIN32)
#include <windows.h>
// The operating system's load and unload of the file do no work of ours.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
