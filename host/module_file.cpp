#include "host/module_file.h"

#include <cstdio>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace pexil::host {
namespace {

// More servers than this means the table is not terminated.
constexpr std::size_t kMaxServers = 1024;

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string& reason) {
    HMODULE h = LoadLibraryA(path.c_str());
    if (h == nullptr) reason = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(h);
}
void* FindSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void* OpenLibrary(const std::string& path, std::string& reason) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        const char* e = dlerror();
        reason = e != nullptr ? e : "dlopen failed";
    }
    return h;
}
void* FindSymbol(void* library, const char* name) {
    dlerror();
    return dlsym(library, name);
}
void CloseLibrary(void* library) { dlclose(library); }
#endif

}  // namespace

ModuleFile::ModuleFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw ModuleError(path + ": no such module file");

    // dlopen reads a bare name from the library search path; a path with a
    // slash is read from where it says.
    std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    std::string reason;
    library_ = OpenLibrary(openPath, reason);
    if (library_ == nullptr) throw ModuleError(path + ": not a loadable module: " + reason);

    try {
        descriptor_ =
            static_cast<const HostModuleDescriptor*>(FindSymbol(library_, kHostModuleDescriptorSymbol));
        if (descriptor_ == nullptr)
            throw ModuleError(path + ": not a module: it exports no " +
                              std::string(kHostModuleDescriptorSymbol));
        if (descriptor_->sysSync != kHostModuleSync)
            throw ModuleError(path + ": not a module for this host: synchronisation constant " +
                              Hex(descriptor_->sysSync) + ", expected " + Hex(kHostModuleSync));
        if (descriptor_->sysVersion != kHostModuleVersion)
            throw ModuleError(path + ": module descriptor version " +
                              std::to_string(descriptor_->sysVersion) + " is not supported (expected " +
                              std::to_string(kHostModuleVersion) + ")");
        if (descriptor_->servers == nullptr)
            throw ModuleError(path + ": the module's descriptor has no server table");

        for (const HostServerRecord* r = descriptor_->servers; r->className != nullptr; ++r) {
            if (servers_.size() == kMaxServers)
                throw ModuleError(path + ": the server table is not terminated");
            if (r->serverName == nullptr)
                throw ModuleError(path + ": server " + std::to_string(servers_.size() + 1) +
                                  " of class " + r->className + " has no name");
            servers_.push_back({r->className, r->serverName, r->activate});
        }
        if (descriptor_->startup != nullptr) startupValue_ = descriptor_->startup();
    } catch (...) {
        CloseLibrary(library_);
        throw;
    }
}

ModuleFile::~ModuleFile() {
    if (descriptor_ != nullptr && descriptor_->shutdown != nullptr)
        descriptor_->shutdown(startupValue_);
    CloseLibrary(library_);
}

const ServerEntry* ModuleFile::find(std::string_view className, std::string_view serverName) const {
    for (const ServerEntry& s : servers_)
        if (s.className == className && s.serverName == serverName) return &s;
    return nullptr;
}

}  // namespace pexil::host
