// Module files that are almost right, for the loader's error paths. The
// build makes one file per variant from this source.
#include "sdk/module.h"

#ifndef FAKE_NO_DESCRIPTOR
namespace {
const HostServerRecord kServers[] = {{nullptr, nullptr, nullptr, nullptr}};
}
extern "C" __attribute__((visibility("default"))) HostModuleDescriptor _mod_descrip;
HostModuleDescriptor _mod_descrip = {FAKE_SYNC, FAKE_VERSION, kHostModuleMachine,
                                     nullptr,   nullptr,      kServers};
#else
extern "C" __attribute__((visibility("default"))) int not_a_descriptor;
int not_a_descriptor = 1;
#endif
