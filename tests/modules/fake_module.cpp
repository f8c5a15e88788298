// Module files that are almost right, for the loader's error paths. The
// build makes one file per variant from this source.
#include <array>

#include "sdk/module.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef FAKE_NO_DESCRIPTOR
namespace {
#if defined(FAKE_UNNAMED_SERVER)
const HostServerRecord kServers[] = {{kPixelFilterHandlerClass, nullptr, nullptr, nullptr},
                                     {nullptr, nullptr, nullptr, nullptr}};
#elif defined(FAKE_UNTERMINATED)
// More servers than a host reads, and no terminator among them.
constexpr auto kServers = [] {
    std::array<HostServerRecord, 1025> table{};
    for (HostServerRecord& r : table) r = {kNodeHandlerClass, "node", nullptr, nullptr};
    return table;
}();
#else
const HostServerRecord kServers[] = {{nullptr, nullptr, nullptr, nullptr}};
#endif
}  // namespace

#if defined(FAKE_NO_SERVERS)
#define FAKE_SERVERS nullptr
#else
#define FAKE_SERVERS &kServers[0]
#endif

FAKE_EXPORT HostModuleDescriptor _mod_descrip;
HostModuleDescriptor _mod_descrip = {FAKE_SYNC, FAKE_VERSION, kHostModuleMachine,
                                     nullptr,   nullptr,      FAKE_SERVERS};

#if defined(FAKE_UNDEFINED)
// A symbol no library defines: loading the file cannot bind it.
extern "C" int pexil_fake_nowhere;
FAKE_EXPORT int* fake_needs;
int* fake_needs = &pexil_fake_nowhere;
#endif
#else
FAKE_EXPORT int not_a_descriptor;
int not_a_descriptor = 1;
#endif
