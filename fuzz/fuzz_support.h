// What the fuzz programs share: the module, loaded once, and a way to stop with a reason.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host.h"
#include "host/module_file.h"
#include "host/plugin.h"

namespace pexil::fuzz {

// libFuzzer keeps the coverage counters of every library it has seen loaded, so the module is
// loaded once for the whole run; each input gets a fresh Host, and the module's own state is
// made afresh by the activations and creates each input starts with.
inline host::ModuleFile& Module() {
    static host::ModuleFile* module = new host::ModuleFile(PEXIL_MODULE_PATH);
    return *module;
}

// A finding: says what, and ends the run the way libFuzzer records as a crash.
[[noreturn]] inline void Fatal(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

// A host's misuse is the module's fault: the fuzz programs only make correct calls.
inline void ExpectNoMisuse(const host::Host& h) {
    if (!h.misuse().empty()) Fatal("the host saw misuse: " + h.misuse().front());
}

// The filter handler, activated with every service offered.
inline void ActivateFilter(host::HandlerRecords& records) {
    const host::ServerEntry* s = Module().find(kPixelFilterHandlerClass, "pexil_node");
    if (s == nullptr || host::Activate(*s, kPixelFilterHandlerVersion, records) != kActivateOk)
        Fatal("the filter handler did not activate");
}

// A filter instance, with the editor it makes.
inline void* CreateFilter(host::HandlerRecords& records) {
    HostError error = nullptr;
    void* instance = records.inst.create(records.inst.priv, nullptr, &error);
    if (instance == nullptr) Fatal("create failed");
    return instance;
}

}  // namespace pexil::fuzz
