// The module protocol: the exported descriptor, the server table and the
// activation entry through which the host obtains a server's callbacks.
#pragma once

#include "sdk/abi.h"

// Looks up one of the host's service tables by name. The second argument is
// always 0 in our calls. Returns null when the host does not offer the service.
typedef void*(PX_CDECL* HostGlobalFn)(const char* serviceName, int32_t use);

// Activation of one server. `version` is the version of the class the host
// offers, `local` the host's record for the class (a handler or interface
// record), `serverData` is reserved. Returns one of the HostActivation codes.
typedef int32_t(PX_CDECL* HostActivateFn)(int32_t version, HostGlobalFn global, void* local,
                                          void* serverData);

// Activation result codes.
enum HostActivation : int32_t {
    kActivateOk = 0,          // the host's record is filled
    kActivateBadVersion = 1,  // the offered class version is not accepted
    kActivateNoService = 2,   // a required host service is missing
    kActivateNoEditor = 5,    // node servers: no ready node editor
};

// One entry of the server table; the table ends with an all-zero entry.
struct HostServerRecord {
    const char* className;    // byte 0
    const char* serverName;   // byte 4
    HostActivateFn activate;  // byte 8: null when the class needs no activation
    void* tagInfo;            // byte 12: unused, always null
};
PX_AT(HostServerRecord, className, 0);
PX_AT(HostServerRecord, serverName, 4);
PX_AT(HostServerRecord, activate, 8);
PX_AT(HostServerRecord, tagInfo, 12);
PX_SIZE(HostServerRecord, 16);

typedef void*(PX_CDECL* HostStartupFn)(void);
typedef void(PX_CDECL* HostShutdownFn)(void* startupValue);

// The record a module exports under the name `_mod_descrip`.
struct HostModuleDescriptor {
    uint32_t sysSync;         // byte 0: kHostModuleSync
    uint32_t sysVersion;      // byte 4: kHostModuleVersion
    uint32_t sysMachine;      // byte 8: kHostModuleMachine
    HostStartupFn startup;    // byte 12: called once after loading; its value goes to shutdown
    HostShutdownFn shutdown;  // byte 16: called once before unloading
    const HostServerRecord* servers;  // byte 20: the server table
};
PX_AT(HostModuleDescriptor, sysSync, 0);
PX_AT(HostModuleDescriptor, sysVersion, 4);
PX_AT(HostModuleDescriptor, sysMachine, 8);
PX_AT(HostModuleDescriptor, startup, 12);
PX_AT(HostModuleDescriptor, shutdown, 16);
PX_AT(HostModuleDescriptor, servers, 20);
PX_SIZE(HostModuleDescriptor, 24);

inline constexpr uint32_t kHostModuleSync = 0x04121994u;
inline constexpr uint32_t kHostModuleVersion = 3;
inline constexpr uint32_t kHostModuleMachine = 0x300;
// Name of the exported descriptor symbol.
inline constexpr char kHostModuleDescriptorSymbol[] = "_mod_descrip";

// Server class names.
inline constexpr char kPixelFilterHandlerClass[] = "PixelFilterHandler";
inline constexpr char kPixelFilterInterfaceClass[] = "PixelFilterInterface";
inline constexpr char kNodeHandlerClass[] = "NodeHandler";
inline constexpr char kNodeInterfaceClass[] = "NodeInterface";
