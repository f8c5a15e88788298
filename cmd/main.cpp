// pexil-host: the stand-in host's command line.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "host/host.h"
#include "host/module_file.h"
#include "host/plugin.h"
#include "host/scene.h"

namespace fs = std::filesystem;
using namespace pexil::host;

namespace {

// The module beside this program, unless one is named.
std::string DefaultModule(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) self = fs::absolute(argv0);
    return (self.parent_path() / "pexil.so").string();
}

// Lists the module's servers and what activating each with the host's version gives.
int Info(const std::string& modulePath) {
    Host host;
    ModuleFile module(modulePath);
    std::cout << "module " << module.path() << "\n";
    std::cout << "  descriptor version " << module.descriptor().sysVersion << ", "
              << module.servers().size() << " servers\n";
    // The filter handler goes first: the node server needs what it acquires,
    // and a filter instance to have made the node editor.
    HandlerRecords filter;
    std::unique_ptr<Scene> scene;
    for (const ServerEntry& s : module.servers()) {
        HandlerRecords records;
        const int32_t version = OfferedVersion(s.className);
        std::cout << "  " << s.className << " " << s.serverName << ": ";
        if (s.activate == nullptr) {
            std::cout << "no activation\n";
            continue;
        }
        if (s.className == kNodeHandlerClass && !scene) {
            scene = std::make_unique<Scene>(host, module);
            try {
                scene->addFilter("pexil_node");
            } catch (const std::exception& e) {
                std::cout << "(" << e.what() << ") ";
            }
        }
        const int32_t code = Activate(s, version, records);
        std::cout << "version " << version << " -> " << ActivationResultText(code) << " (" << code
                  << ")\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"pexil-host: the stand-in host for the pexil pixel filter module"};
    app.require_subcommand(1);

    std::string module;
    auto* info = app.add_subcommand("info", "List a module's servers and their activation results");
    info->add_option("module", module, "Module file (default: pexil.so beside this program)");

    CLI11_PARSE(app, argc, argv);
    try {
        if (module.empty()) module = DefaultModule(argv[0]);
        if (*info) return Info(module);
    } catch (const std::exception& e) {
        std::cerr << "pexil-host: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
