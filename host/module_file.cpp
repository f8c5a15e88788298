#include "host/module_file.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>

#include <fstream>
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
void CloseLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}
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
void CloseLibrary(void* library) {
    dlclose(library);
}

const char* MachineName(unsigned machine) {
    switch (machine) {
        case EM_386:
            return "i386";
        case EM_X86_64:
            return "x86_64";
        case EM_AARCH64:
            return "aarch64";
        case EM_ARM:
            return "arm";
        default:
            return "another machine";
    }
}

// dlopen maps a file's segments before it checks them, and touching a segment
// that lies past the end of a truncated file kills the process. Check that the
// file is a shared object for this machine and holds every byte its headers
// promise; the empty string means it does.
template <typename Ehdr, typename Phdr>
std::string CheckElf(const std::string& bytes) {
    if (bytes.size() < sizeof(Ehdr)) return "the file is truncated";
    Ehdr eh;
    std::memcpy(&eh, bytes.data(), sizeof eh);
    const unsigned ours = sizeof(void*) == 8 ? EM_X86_64 : EM_386;
    if (eh.e_machine != ours)
        return std::string("it is built for ") + MachineName(eh.e_machine) +
               ", this host runs on " + MachineName(ours);
    if (eh.e_type != ET_DYN) return "it is not a shared library";
    if (eh.e_phentsize != sizeof(Phdr) ||
        eh.e_phoff + static_cast<uint64_t>(eh.e_phnum) * sizeof(Phdr) > bytes.size())
        return "the file is truncated";
    for (unsigned i = 0; i < eh.e_phnum; ++i) {
        Phdr ph;
        std::memcpy(&ph, bytes.data() + eh.e_phoff + i * sizeof(Phdr), sizeof ph);
        if (ph.p_type == PT_LOAD && static_cast<uint64_t>(ph.p_offset) + ph.p_filesz > bytes.size())
            return "the file is truncated";
    }
    return "";
}

std::string CheckLibraryFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) return "the file cannot be read";
    if (bytes.size() < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
        return "it is not a shared library (no ELF header)";
    const unsigned char cls = static_cast<unsigned char>(bytes[EI_CLASS]);
    const unsigned char ours = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (cls != ours)
        return std::string("it is a ") + (cls == ELFCLASS64 ? "64" : "32") +
               "-bit file, this host is " + (ours == ELFCLASS64 ? "64" : "32") + "-bit";
    return cls == ELFCLASS64 ? CheckElf<Elf64_Ehdr, Elf64_Phdr>(bytes)
                             : CheckElf<Elf32_Ehdr, Elf32_Phdr>(bytes);
}
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
#if !defined(_WIN32)
    reason = CheckLibraryFile(path);
    if (!reason.empty()) throw ModuleError(path + ": not a loadable module: " + reason);
#endif
    library_ = OpenLibrary(openPath, reason);
    if (library_ == nullptr) throw ModuleError(path + ": not a loadable module: " + reason);

    try {
        descriptor_ = static_cast<const HostModuleDescriptor*>(
            FindSymbol(library_, kHostModuleDescriptorSymbol));
        if (descriptor_ == nullptr)
            throw ModuleError(path + ": not a module: it exports no " +
                              std::string(kHostModuleDescriptorSymbol));
        if (descriptor_->sysSync != kHostModuleSync)
            throw ModuleError(path + ": not a module for this host: synchronisation constant " +
                              Hex(descriptor_->sysSync) + ", expected " + Hex(kHostModuleSync));
        if (descriptor_->sysVersion != kHostModuleVersion)
            throw ModuleError(
                path + ": module descriptor version " + std::to_string(descriptor_->sysVersion) +
                " is not supported (expected " + std::to_string(kHostModuleVersion) + ")");
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
    if (Host* host = Host::current()) host->moduleUnloading(*this);
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
