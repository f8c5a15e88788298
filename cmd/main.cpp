// pexil-host: the stand-in host's command line. It loads the module, reads
// scenes and renders them with their pixel filters applied.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>

#include "host/host.h"
#include "host/module_file.h"
#include "host/plugin.h"
#include "host/scene.h"
#include "render/contact_sheet.h"
#include "render/image.h"
#include "render/renderer.h"

namespace fs = std::filesystem;
using namespace pexil::host;
using namespace pexil::render;

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
    host.useModule(&module);
    std::cout << "module " << module.path() << "\n";
    std::cout << "  descriptor version " << module.descriptor().sysVersion << ", "
              << module.servers().size() << " servers\n";
    // The node server needs what the filter handler acquires, and a filter
    // instance to have made the node editor: activate in table order and make
    // an instance before the node server's turn.
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

// A progress bar on a terminal; nothing when the output is not one.
class Progress {
  public:
    explicit Progress(std::string what) : what_(std::move(what)), shown_(isatty(STDERR_FILENO)) {}
    ~Progress() {
        if (shown_ && drawn_) std::fprintf(stderr, "\n");
    }
    void operator()(double fraction) {
        if (!shown_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const int percent = static_cast<int>(fraction * 100);
        if (percent == last_) return;
        last_ = percent;
        const int width = 40, filled = static_cast<int>(fraction * width);
        std::fprintf(stderr, "\r%s [%s%s] %3d%%", what_.c_str(), std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), percent);
        std::fflush(stderr);
        drawn_ = true;
    }

  private:
    std::string what_;
    bool shown_;
    bool drawn_ = false;
    int last_ = -1;
    std::mutex mutex_;
};

void CheckImagePath(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png" && ext != ".exr")
        throw std::runtime_error(path + ": the image file must end in .png or .exr");
}

struct Loaded {
    Host host;
    std::unique_ptr<ModuleFile> module;
    std::unique_ptr<Scene> scene;
    Loaded(const std::string& modulePath, const std::string& scenePath) {
        module = std::make_unique<ModuleFile>(modulePath);
        scene = std::make_unique<Scene>(host, *module);
        scene->loadFile(scenePath);
    }
    ~Loaded() {
        scene.reset();  // instances go before their module
        module.reset();
    }
};

std::pair<int, int> ParsePair(const std::string& text, char separator, const char* what) {
    const auto at = text.find(separator);
    try {
        std::size_t used = 0;
        if (at == std::string::npos) {
            const int v = std::stoi(text, &used);
            if (used == text.size() && separator == '-') return {v, v};
        } else {
            const int a = std::stoi(text.substr(0, at), &used);
            if (used == at) {
                const std::string rest = text.substr(at + 1);
                const int b = std::stoi(rest, &used);
                if (used == rest.size()) return {a, b};
            }
        }
    } catch (const std::exception&) {
    }
    throw CLI::ValidationError(std::string(what) + " '" + text + "' is not in the form " +
                               (separator == '-' ? "A-B or A" : "WxH"));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"pexil-host: the stand-in host for the pexil pixel filter module"};
    app.require_subcommand(1);
    app.fallthrough();  // --module may come after the subcommand too
    std::string module;
    app.add_option("--module", module, "Module file (default: pexil.so beside this program)");

    std::string scenePath, out;
    auto* info = app.add_subcommand("info", "List a module's servers and their activation results");
    std::string infoModule;
    info->add_option("module", infoModule, "Module file (default: pexil.so beside this program)");

    auto* render = app.add_subcommand("render", "Render a scene with its pixel filters applied");
    render->add_option("scene", scenePath, "Scene file")->required();
    render
        ->add_option("-o,--output", out,
                     "Image file (.png or .exr); animations add the frame number")
        ->required();
    std::string frames, size;
    int aa = 0;
    bool noFilters = false, exrFloat = false;
    render->add_option("--frames", frames,
                       "Frames to render, A-B or A (default: the scene's range)");
    render->add_option("--size", size, "Frame size WxH (default: the scene's)");
    render->add_option("--aa", aa, "Anti-aliasing samples per pixel: 1, 4, 9, 16, ...");
    render->add_flag("--no-filters", noFilters, "Render without the pixel filters");
    render->add_flag("--exr-float", exrFloat, "Write OpenEXR with 32-bit floats instead of halves");

    auto* check = app.add_subcommand("check", "Validate a scene and list every error");
    check->add_option("scene", scenePath, "Scene file")->required();

    auto* resave =
        app.add_subcommand("resave", "Load a scene and save it again through the module");
    resave->add_option("scene", scenePath, "Scene file")->required();
    resave->add_option("-o,--output", out, "Scene file to write")->required();

    auto* outputs = app.add_subcommand("outputs", "A contact sheet of the 26 pixel sample outputs");
    outputs->add_option("scene", scenePath, "Scene file")->required();
    outputs->add_option("-o,--output", out, "Image file (.png or .exr)")->required();
    int sheetFrame = 0;
    outputs->add_option("--frame", sheetFrame, "Frame to show (default: the scene's first)");
    outputs->add_option("--size", size, "Size of each picture WxH (default: the scene's)");

    auto* graph = app.add_subcommand("graph", "Export the filter's network as Graphviz DOT");
    graph->add_option("scene", scenePath, "Scene file")->required();
    graph->add_option("-o,--output", out, "DOT file to write (- for standard output)")->required();

    CLI11_PARSE(app, argc, argv);
    try {
        if (module.empty()) module = DefaultModule(argv[0]);
        if (*info) return Info(infoModule.empty() ? module : infoModule);

        if (*check) {
            Host host;
            ModuleFile m(module);
            std::vector<SceneError> errors;
            try {
                const std::string text = readSceneFile(scenePath);
                Scene scene(host, m);
                errors = scene.check(text, scenePath);
            } catch (const SceneError& e) {
                errors = {e};
            }
            for (const SceneError& e : errors) std::cout << e.what() << "\n";
            if (errors.empty()) std::cout << scenePath << ": no errors\n";
            return errors.empty() ? 0 : 1;
        }

        Loaded loaded(module, scenePath);
        if (*resave) {
            loaded.scene->saveFile(out);
            return 0;
        }
        if (*graph) {
            std::ostringstream dot;
            loaded.host.config.presentTo = &dot;
            loaded.host.config.presentAsDot = true;
            // Opening the filter's interface presents its network.
            const ServerEntry* ui = loaded.module->find(kPixelFilterInterfaceClass, "pexil_node");
            HandlerRecords records;
            const int32_t code = ui ? Activate(*ui, OfferedVersion(ui->className), records) : -1;
            if (code != kActivateOk)
                throw std::runtime_error(std::string("the filter's interface did not open: ") +
                                         ActivationResultText(code));
            if (dot.str().empty())
                throw std::runtime_error(scenePath + ": the scene has no pixel filter network");
            if (out == "-")
                std::cout << dot.str();
            else
                writeFileAtomically(out, dot.str());
            return 0;
        }

        RenderOptions options;
        if (!size.empty()) options.size = ParsePair(size, 'x', "--size");
        if (*outputs) {
            const int frame =
                outputs->count("--frame") ? sheetFrame : loaded.scene->settings().firstFrame;
            Progress progress("outputs");
            CheckImagePath(out);
            const Image sheet = OutputsSheet(loaded.host, *loaded.scene, options, frame);
            WriteImage(out, sheet);
            std::cout << out << "\n";
            return 0;
        }
        if (*render) {
            if (!frames.empty()) options.frames = ParsePair(frames, '-', "--frames");
            if (aa != 0) options.aaSamples = aa;
            options.filters = !noFilters;
            Renderer renderer(loaded.host, *loaded.scene, options);
            CheckImagePath(out);  // an unknown extension fails before any work
            const bool animation = renderer.lastFrame() > renderer.firstFrame();
            Progress progress("render " + fs::path(scenePath).filename().string());
            renderer.progress = [&progress](double f) { progress(f); };
            const auto start = std::chrono::steady_clock::now();
            renderer.render([&](int frame, const Image& image) {
                const std::string path = FramePath(out, frame, animation);
                WriteImage(path, image, exrFloat ? ExrPixels::Float : ExrPixels::Half);
            });
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const int count = renderer.lastFrame() - renderer.firstFrame() + 1;
            std::cerr << (isatty(STDERR_FILENO) ? "\n" : "") << "rendered " << count
                      << (count == 1 ? " frame" : " frames") << " of " << renderer.width() << "x"
                      << renderer.height() << " in " << seconds << " s\n";
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "pexil-host: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
