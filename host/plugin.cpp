#include "host/plugin.h"

namespace pexil::host {

int32_t OfferedVersion(std::string_view className) {
    if (className == kPixelFilterHandlerClass) return kPixelFilterHandlerVersion;
    if (className == kPixelFilterInterfaceClass) return kPixelFilterInterfaceVersion;
    if (className == kNodeHandlerClass) return kNodeHandlerVersion;
    return 1;
}

int32_t Activate(const ServerEntry& server, int32_t version, HandlerRecords& records) {
    if (server.activate == nullptr) return kActivateOk;
    void* local = nullptr;
    if (server.className == kPixelFilterHandlerClass)
        local = &records.filter;
    else if (server.className == kNodeHandlerClass)
        local = &records.node;
    else
        local = &records.ui;
    return server.activate(version, Host::globalFunction(), local, nullptr);
}

}  // namespace pexil::host
