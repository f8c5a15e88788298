// Loading a module file the way the renderer does: open it, find the
// exported descriptor, check it, start the module and read its server table.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/module.h"

namespace pexil::host {

// A module file that cannot be used. what() names the file and the reason.
class ModuleError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ServerEntry {
    std::string className;
    std::string serverName;
    HostActivateFn activate = nullptr;  // null: the class needs no activation
};

class ModuleFile {
  public:
    // Throws ModuleError when the file is missing, is not a loadable library,
    // exports no descriptor, or carries the wrong synchronisation constant or
    // descriptor version. Calls the module's start-up entry on success.
    explicit ModuleFile(const std::string& path);
    ~ModuleFile();  // calls the shut-down entry, then unloads the file
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

    const std::string& path() const { return path_; }
    const HostModuleDescriptor& descriptor() const { return *descriptor_; }
    const std::vector<ServerEntry>& servers() const { return servers_; }
    // The server of that class and name, or null.
    const ServerEntry* find(std::string_view className, std::string_view serverName) const;
    void* startupValue() const { return startupValue_; }

  private:
    std::string path_;
    void* library_ = nullptr;
    const HostModuleDescriptor* descriptor_ = nullptr;
    void* startupValue_ = nullptr;
    std::vector<ServerEntry> servers_;
};

}  // namespace pexil::host
