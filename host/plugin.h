// Activating a server of a loaded module and holding the records its
// activation filled.
#pragma once

#include <cstring>
#include <string>

#include "host/host.h"
#include "host/module_file.h"
#include "sdk/handler.h"

namespace pexil::host {

// The records the host hands to an activation. They start filled with a
// pattern, so that what an activation leaves untouched stays recognisable.
struct HandlerRecords {
    static constexpr unsigned char kUntouched = 0xA5;

    HandlerRecords() { reset(); }
    void reset() {
        std::memset(this, kUntouched, sizeof *this);
        filter.inst = node.inst = &inst;
        filter.item = node.item = &item;
        filter.rend = node.rend = &rend;
    }

    HostInstanceFuncs inst;
    HostItemFuncs item;
    HostRenderFuncs rend;
    HostPixelFilterHandler filter;  // the record for "PixelFilterHandler"
    HostNodeHandler node;           // the record for "NodeHandler"
    HostInterface ui;               // the record for the interface classes
};
// True when every byte of `member` still holds the untouched pattern.
template <typename T>
bool Untouched(const T& member) {
    const auto* p = reinterpret_cast<const unsigned char*>(&member);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        if (p[i] != HandlerRecords::kUntouched) return false;
    return true;
}

// Activates `server` with `version`, handing it the record its class uses.
// A class without an activation function gives kActivateOk and fills nothing.
int32_t Activate(const ServerEntry& server, int32_t version, HandlerRecords& records);

// The version the host offers for a class (what the real renderer offers).
int32_t OfferedVersion(std::string_view className);

}  // namespace pexil::host
