// Seeded random walks over the calls a renderer makes into the module: activations, instances
// made, copied, loaded, saved and destroyed, renders (init, new time, pixels, cleanup), edits of
// the network and the editor's own callbacks. Most steps are ones a correct host makes; some are
// the mistakes of a careless one (pixels before init or new time, init twice, cleanup twice, new
// time without init, destroy in the middle of a render, copy onto itself, the callbacks of an
// editor whose instance is gone). Whatever the order, the module stays sound: no crash, no
// sanitizer report, no leak, and every camera evaluator it made released unless the host itself
// skipped the cleanup. After a correct host's step the host has recorded no misuse.
//
// Each walk loads the module afresh, so a seed replays exactly:
//   PEXIL_SEQUENCE_SEEDS=N   walk seeds 1..N (default 50)
//   PEXIL_SEQUENCE_STEPS=M   steps per walk (default 200)
//   PEXIL_SEQUENCE_SEED=S    walk seed S alone
//   PEXIL_SEQUENCE_VERBOSE=1 print every step before it runs (a crash then shows its way there)
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/module_file.h"
#include "host/pixel.h"
#include "host/plugin.h"
#include "host/scene_states.h"
#include "host/scene_text.h"
#include "module_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define PEXIL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PEXIL_SANITIZED 1
#endif
#endif
#ifdef PEXIL_SANITIZED
extern "C" void __sanitizer_set_death_callback(void (*callback)(void));
#endif

namespace pexil::host {
namespace {

constexpr char kFilter[] = "pexil_node";
constexpr char kSample[] = "pexil_PFOut";
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kFilterServices[] = {
    kEnvelopeFuncsName, kChannelInfoName,    kNodeEditorFuncsName, kItemInfoName,
    kCameraInfoName,    kNodeFuncsName,      kNodeInputFuncsName,  kNodeOutputFuncsName,
    kSceneInfoName,     kInstanceUpdateName, kMessageFuncsName,    kCameraEvalFuncsName,
};
const char* const kNodeServices[] = {kNodeFuncsName, kNodeEditorFuncsName, kNodeInputFuncsName,
                                     kNodeOutputFuncsName};
// Some outputs of the sample node, for connections and for load texts.
const char* const kSampleOutputs[] = {
    "Color",          "Alpha",   "Diffuse",          "Specularity", "RawColor",
    "DiffuseShading", "Shaddow", "Refraction Shade", "sx",          "sy",
    "Transparency"};

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

// ---- What a crash leaves on stderr ----

// Updated before every step; written by the handlers below, which may only call write().
char gWhere[160] = "";
// The steps of the walk under way, for a sanitizer's death callback.
const std::vector<std::string>* gSteps = nullptr;

void WriteWhere() {
    const ssize_t ignored = ::write(2, gWhere, std::strlen(gWhere));
    (void)ignored;
}

#ifdef PEXIL_SANITIZED
void OnSanitizerDeath() {
    WriteWhere();
    if (gSteps != nullptr)
        for (std::size_t i = 0; i < gSteps->size(); ++i)
            std::fprintf(stderr, "  %3zu. %s\n", i + 1, (*gSteps)[i].c_str());
}
#else
void OnFatalSignal(int signal) {
    WriteWhere();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

// Installs the crash reports for the lifetime of a test.
class CrashReport {
  public:
    CrashReport() {
#ifdef PEXIL_SANITIZED
        __sanitizer_set_death_callback(OnSanitizerDeath);
#else
        for (int s : kSignals) previous_[s] = std::signal(s, OnFatalSignal);
#endif
    }
    ~CrashReport() {
#ifdef PEXIL_SANITIZED
        __sanitizer_set_death_callback(nullptr);
#else
        for (int s : kSignals) std::signal(s, previous_[s]);
#endif
        gWhere[0] = '\0';
        gSteps = nullptr;
    }

  private:
    static constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
    std::map<int, void (*)(int)> previous_;
};

// ---- Random values ----

class Dice {
  public:
    explicit Dice(uint32_t seed) : rng_(seed) {}
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    }
    template <typename T, std::size_t N>
    T pick(const T (&items)[N]) {
        return items[below(static_cast<int>(N))];
    }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[below(static_cast<int>(items.size()))];
    }
    // Mostly ordinary numbers; now and then the ones that break arithmetic.
    double number() {
        switch (below(12)) {
            case 0:
                return 0.0;
            case 1:
                return pick({-0.0, 1e300, -1e300, 1e-300, 5e-324});
            case 2:
                return pick({kInf, -kInf, kNaN});
            default:
                return uniform(-2, 2);
        }
    }
    // Any bytes at all.
    void bytes(void* to, std::size_t n) {
        auto* p = static_cast<unsigned char*>(to);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(below(256));
    }

  private:
    std::mt19937 rng_;
};

// A number as a scene file writes it (finite only).
std::string Text(double v) {
    return formatNumber(v);
}

// ---- Load texts: the content of a filter's Plugin section ----

// A network in the node editor's format; `sound` false adds one mistake.
std::string NetworkBlock(Dice& d, bool sound) {
    struct Made {
        int id;
        std::string type;
    };
    std::vector<Made> made;
    std::ostringstream out;
    const int count = d.between(0, 5);
    const auto& types = BuiltinNodeTypes();
    for (int i = 0; i < count; ++i) {
        const int id = i + 1;
        if (d.chance(0.3)) {
            out << "{ Node " << id << " " << kSample << "\n";
            if (d.chance(0.2)) out << "{ Data\n}\n";
            out << "}\n";
            made.push_back({id, kSample});
            continue;
        }
        const BuiltinNodeType& t = d.pick(types);
        out << "{ Node " << id << " " << t.name << "\n";
        for (const auto& in : t.inputs) {
            if (!d.chance(0.5)) continue;
            out << "Input " << in.name;
            for (int k = 0; k < (in.type == kConnectionColor ? 3 : 1); ++k)
                out << " " << Text(d.uniform(-3, 3));
            out << "\n";
        }
        if (std::string(t.name) == "Gradient" && d.chance(0.5)) {
            double at = -1;
            for (int k = d.between(1, 3); k > 0; --k) {
                at += d.uniform(0, 1);
                out << "Setting Key " << Text(at) << " " << Text(d.uniform(0, 1)) << " "
                    << Text(d.uniform(0, 1)) << " " << Text(d.uniform(0, 1)) << "\n";
            }
        }
        out << "}\n";
        made.push_back({id, t.name});
    }
    // Connections from earlier nodes to later ones, and one into the root: never a loop.
    auto outputOf = [&](const Made& m) -> std::string {
        if (m.type == kSample) return d.pick(kSampleOutputs);
        return d.pick(FindBuiltinNodeType(m.type)->outputs).name;
    };
    for (std::size_t to = 1; to < made.size(); ++to) {
        const BuiltinNodeType* t = FindBuiltinNodeType(made[to].type);
        if (t == nullptr || t->inputs.empty() || !d.chance(0.6)) continue;
        const Made& from = made[d.below(static_cast<int>(to))];
        out << "Connect " << from.id << " \"" << outputOf(from) << "\" " << made[to].id << " "
            << d.pick(t->inputs).name << "\n";
    }
    if (!made.empty() && d.chance(0.8)) {
        const Made& from = d.pick(made);
        out << "Connect " << from.id << " \"" << outputOf(from) << "\" 0 Output\n";
    }
    if (!sound) {
        const char* const mistakes[] = {
            "{ Node 9 Gizmo\n}\n",
            "Connect 42 Color 0 Output\n",
            "Connect 1 Nothing 0 Output\n",
            "{ Node 0 Constant\n}\n",
            "{ Node 1 Constant\n}\n{ Node 1 Scalar\n}\n",
            "{ Node 7 Constant\nInput Value 1\n}\n",
            "{ Node 7 Scalar\nInput Nothing 1\n}\n",
            "{ Node 7 Scalar\n{ Data\n}\n}\n",
            "{ Node 7 pexil_PFOut\n{ Data\nSomething 1\n}\n}\n",
            "{ Node 7 Gradient\nSetting Key 1 0 0 0\nSetting Key 0 1 1 1\n}\n",
            "{ Node 7 Scalar\n}\n{ Node 8 Scalar\n}\nConnect 7 Value 8 Value\n"
            "Connect 8 Value 7 Value\n",
            "Bogus 1\n",
            "{ Node x Scalar\n}\n",
        };
        out << d.pick(mistakes);
    }
    return out.str();
}

std::string PluginContent(Dice& d) {
    std::ostringstream out;
    const int blocks = d.between(0, 3);
    for (int b = 0; b < blocks; ++b) {
        switch (d.below(8)) {
            case 0:
                out << "{ Amplitude\n1\n}\n";
                break;
            case 1:
                out << "{ UseAxis\n}\n";
                break;
            case 2:
                out << "{ Axis\n{ Nodes\n}\n}\n";
                break;
            case 3:
                out << d.pick({"{ Colour\n}\n", "Extra 1\n", "{ Nodes\n"});  // the last, unclosed
                break;
            default:
                out << "{ Nodes\n" << NetworkBlock(d, d.chance(0.75)) << "}\n";
        }
    }
    return out.str();
}

// ---- The walk ----

struct Instance {
    int id = 0;
    void* p = nullptr;
    NodeEditor* editor = nullptr;  // the one its create made
    bool inited = false;           // init called, cleanup not yet
    bool timed = false;            // new time called since init
    bool holdsEvaluator = false;   // made at init, released at cleanup
};

class Walk {
  public:
    Walk(uint32_t seed, int steps, bool verbose)
        : seed_(seed), steps_(steps), verbose_(verbose), d_(seed) {}
    // After a failure, still release what is live, so that the failure is the only report.
    ~Walk() {
        for (Instance& i : live_) filter_.inst.destroy(i.p);
        gSteps = nullptr;
    }

    // Runs the walk; the empty string when the module stayed sound, else what went wrong.
    std::string run() {
        gSteps = &log_;
        host_.config.trace = false;
        px_.keepRays = false;
        loadModule();
        for (step_ = 1; step_ <= steps_ && failure_.empty(); ++step_) {
            std::snprintf(gWhere, sizeof gWhere,
                          "sequence walk: seed %u died in step %d of %d; replay with "
                          "PEXIL_SEQUENCE_SEED=%u PEXIL_SEQUENCE_VERBOSE=1\n",
                          seed_, step_, steps_, seed_);
            one();
        }
        if (failure_.empty()) finish();
        return failure_.empty() ? "" : report();
    }

  private:
    // ---- bookkeeping ----
    void note(std::string what, bool legal = true) {
        if (!legal) what += "  [careless]";
        if (verbose_) std::fprintf(stderr, "seed %u step %d: %s\n", seed_, step_, what.c_str());
        log_.push_back(std::move(what));
        legal_ = legal;
    }
    // Adds a line to the step under way.
    void more(const std::string& what) {
        if (verbose_) std::fprintf(stderr, "    %s\n", what.c_str());
        log_.back() += "\n    " + what;
    }
    void fail(const std::string& what) {
        if (failure_.empty()) failure_ = what;
    }
    std::string report() const {
        std::ostringstream out;
        out << "seed " << seed_ << ", step " << log_.size() << " of " << steps_ << ": " << failure_
            << "\nreplay: PEXIL_SEQUENCE_SEED=" << seed_ << " PEXIL_SEQUENCE_STEPS=" << steps_
            << "\nsteps:\n";
        for (std::size_t i = 0; i < log_.size(); ++i)
            out << "  " << i + 1 << ". " << log_[i] << "\n";
        return out.str();
    }
    // After a step: a correct host's step leaves no misuse; a careless one's is forgotten.
    // A careless render step (init twice, cleanup without init, a create that moves the
    // module's editor in the middle of a render, ...) leaves the editor's count of renders off,
    // so that a correct host's later new time or cleanup finds it "not rendering". That lasts
    // until no instance is rendering.
    void settle() {
        for (const std::string& m : host_.misuse()) {
            const bool knockOn = unbalanced_ && m.find(" is not rendering") != std::string::npos;
            if (legal_ && !knockOn) fail("the host saw misuse: " + m);
        }
        host_.clearMisuse();
        if (!rendering()) unbalanced_ = false;
    }
    bool rendering() const {
        for (const Instance& i : live_)
            if (i.inited) return true;
        return false;
    }
    std::string name(const Instance& i) const { return "#" + std::to_string(i.id); }
    bool ours(const NodeEditor* e) const {
        for (std::size_t i = editorsBefore_; i < host_.editors().size(); ++i)
            if (host_.editors()[i].get() == e) return true;
        return false;
    }
    // An instance for which `good` holds, most of the time when there is one.
    Instance* choose(const std::function<bool(const Instance&)>& good) {
        if (live_.empty()) return nullptr;
        std::vector<Instance*> fitting;
        for (Instance& i : live_)
            if (good(i)) fitting.push_back(&i);
        if (!fitting.empty() && d_.chance(0.8)) return d_.pick(fitting);
        return &live_[d_.below(static_cast<int>(live_.size()))];
    }
    void forget(const Instance* inst) {
        for (auto it = live_.begin(); it != live_.end(); ++it)
            if (&*it == inst) {
                live_.erase(it);
                return;
            }
    }

    // ---- module ----
    void loadModule() {
        module_ = std::make_unique<ModuleFile>(PEXIL_MODULE_PATH);
        host_.useModule(module_.get());
        editorsBefore_ = host_.editors().size();
        filterReady_ = false;
        nodeServices_ = false;
        current_ = nullptr;
        // Now and then a host that lacks one service for the whole session.
        missing_.clear();
        if (d_.chance(0.1)) {
            const char* const lackable[] = {kEnvelopeFuncsName, kNodeEditorFuncsName,
                                            kNodeOutputFuncsName, kCameraEvalFuncsName,
                                            kXPanelFuncsName};
            missing_ = d_.pick(lackable);
            note(std::string("the host lacks ") + missing_);
        }
        host_.config.withheld.clear();
        if (!missing_.empty()) host_.config.withheld.insert(missing_);
    }

    void finish() {
        note("end: cleanup and destroy what is live, unload the module");
        for (Instance& i : live_) {
            if (i.inited) filter_.rend.cleanup(i.p);
            filter_.inst.destroy(i.p);
        }
        live_.clear();
        std::size_t held = 0;
        for (const auto& e : host_.evaluators) held += e->live ? 1 : 0;
        if (held != lost_)
            fail(std::to_string(held) +
                 " camera evaluator(s) still live after every instance was "
                 "cleaned up and destroyed; the host's own mistakes "
                 "account for " +
                 std::to_string(lost_));
        module_.reset();
        settle();
    }

    // ---- steps ----
    void one() {
        legal_ = true;
        struct Move {
            int weight;
            void (Walk::*run)();
        };
        static const Move moves[] = {
            {3, &Walk::activateFilter}, {2, &Walk::activateInterface},
            {2, &Walk::activateNode},   {7, &Walk::create},
            {5, &Walk::copy},           {6, &Walk::load},
            {3, &Walk::save},           {7, &Walk::init},
            {7, &Walk::newTime},        {20, &Walk::evaluate},
            {6, &Walk::cleanup},        {5, &Walk::destroy},
            {5, &Walk::callbacks},      {5, &Walk::addSample},
            {5, &Walk::addBuiltin},     {4, &Walk::changeScene},
            {2, &Walk::describe},       {1, &Walk::reload},
        };
        int total = 0;
        for (const Move& m : moves) total += m.weight;
        // Without an activated handler, or an instance, there is little else to do.
        if (!filterReady_ && d_.chance(0.5)) return (activateFilter(), settle());
        if (filterReady_ && live_.empty() && d_.chance(0.5)) return (create(), settle());
        int r = d_.below(total);
        for (const Move& m : moves) {
            if (r < m.weight) {
                (this->*m.run)();
                break;
            }
            r -= m.weight;
        }
        settle();
    }

    bool lacks(const char* const (&services)[12]) const {
        for (const char* s : services)
            if (missing_ == s) return true;
        return false;
    }

    void activateFilter() {
        const int32_t version =
            d_.chance(0.8) ? kPixelFilterHandlerVersion : d_.pick({5, 7, 0, -6, 1});
        note("activate the filter handler, version " + std::to_string(version));
        int32_t expected = kActivateOk;
        if (version != kPixelFilterHandlerVersion)
            expected = kActivateBadVersion;
        else if (lacks(kFilterServices))
            expected = kActivateNoService;
        // A refused activation fills a record the host then throws away.
        HandlerRecords refused;
        HandlerRecords& into = expected == kActivateOk ? filter_ : refused;
        const int32_t code =
            Activate(*module_->find(kPixelFilterHandlerClass, kFilter), version, into);
        if (code != expected)
            return fail("filter activation gave " + std::to_string(code) + ", expected " +
                        std::to_string(expected));
        if (version == kPixelFilterHandlerVersion) {
            nodeServices_ = true;
            for (const char* s : kNodeServices) nodeServices_ = nodeServices_ && missing_ != s;
        }
        if (code == kActivateOk) filterReady_ = true;
    }

    void activateInterface() {
        const int32_t version = d_.chance(0.8) ? kPixelFilterInterfaceVersion : d_.pick({3, 5, 6});
        note("activate the filter interface, version " + std::to_string(version));
        HandlerRecords r;
        const int32_t code =
            Activate(*module_->find(kPixelFilterInterfaceClass, kFilter), version, r);
        const int32_t expected = version != kPixelFilterInterfaceVersion ? kActivateBadVersion
                                 : missing_ == kXPanelFuncsName          ? kActivateNoService
                                                                         : kActivateOk;
        if (code != expected)
            fail("interface activation gave " + std::to_string(code) + ", expected " +
                 std::to_string(expected));
    }

    void activateNode() {
        const int32_t version = d_.chance(0.8) ? kNodeHandlerVersion : d_.pick({0, 2});
        note("activate the sample node handler, version " + std::to_string(version));
        HandlerRecords r;
        const int32_t code = Activate(*module_->find(kNodeHandlerClass, kSample), version, r);
        const int32_t expected = version != kNodeHandlerVersion ? kActivateBadVersion
                                 : !nodeServices_               ? kActivateNoService
                                 : current_ == nullptr || !host_.config.editorReady
                                     ? kActivateNoEditor
                                     : kActivateOk;
        if (code != expected)
            fail("node activation gave " + std::to_string(code) + ", expected " +
                 std::to_string(expected));
    }

    void create() {
        if (!filterReady_) return note("create: no activated handler, nothing to do");
        // Mostly the host ends a render before it makes another instance.
        if (rendering() && d_.chance(0.7)) return endRender();
        const bool refuse = d_.chance(0.15);
        // The module's editor operations follow its latest create: not while rendering.
        const bool midRender = rendering();
        note(std::string("create") + (refuse ? ", the host refusing the editor" : "") +
                 (midRender ? " in the middle of a render" : ""),
             !midRender);
        unbalanced_ = unbalanced_ || midRender;
        host_.config.refuseEditor = refuse;
        HostError error = nullptr;
        void* p = filter_.inst.create(filter_.inst.priv, nullptr, &error);
        host_.config.refuseEditor = false;
        if (refuse) {
            if (p != nullptr) return fail("create succeeded without an editor");
            if (error == nullptr || std::string(error) != "Node editor creation failed!")
                return fail("a refused editor gave no error text");
            current_ = nullptr;
            return;
        }
        if (p == nullptr) return fail("create failed: " + std::string(error ? error : "(no text)"));
        current_ = host_.editors().back().get();
        live_.push_back({++made_, p, current_});
        log_.back() += " -> " + name(live_.back());
    }

    void copy() {
        if (live_.empty()) return note("copy: no instance");
        const int n = static_cast<int>(live_.size());
        const int a = d_.below(n);
        int b = a;
        if (n > 1 && d_.chance(0.85)) b = (a + 1 + d_.below(n - 1)) % n;
        Instance* to = &live_[a];
        Instance* from = &live_[b];
        note("copy " + name(*from) + " onto " + name(*to) +
                 (to->inited || from->inited ? " during a render" : ""),
             from != to);
        if (filter_.inst.copy(to->p, from->p) != nullptr) fail("copy gave an error");
    }

    void load() {
        Instance* inst = choose([](const Instance&) { return true; });
        if (inst == nullptr) return note("load: no instance");
        const std::string content = PluginContent(d_);
        note("load into " + name(*inst) + ":\n" + content);
        std::vector<SceneNode> parsed;
        try {
            parsed =
                parseSceneText("Plugin PixelFilterHandler 1 pexil_node\n" + content + "EndPlugin\n",
                               "walk.scene", {"Plugin"});
        } catch (const SceneError& e) {
            log_.back() += "\n  (not a scene: " + std::string(e.what()) + ")";
            return;
        }
        SceneLoadState state(host_, parsed.at(0), "walk.scene", {}, kFilter);
        if (filter_.inst.load(inst->p, state.record()) != nullptr) fail("load gave an error");
        state.finish();
        if (state.error()) log_.back() += "\n  (" + std::string(state.error()->what()) + ")";
    }

    void save() {
        Instance* inst = choose([](const Instance&) { return true; });
        if (inst == nullptr) return note("save: no instance");
        note("save " + name(*inst));
        SceneWriter w;
        SceneSaveState state(host_, w);
        if (filter_.inst.save(inst->p, state.record()) != nullptr)
            return fail("save gave an error");
        state.finish();
        try {
            parseSceneText(w.text(), "saved", {});
        } catch (const SceneError& e) {
            fail("what save wrote does not read back: " + std::string(e.what()) + "\n" + w.text());
        }
    }

    void init() {
        Instance* inst = choose([](const Instance& i) { return !i.inited; });
        if (inst == nullptr) return note("init: no instance");
        const int mode = d_.below(2);
        note("init " + name(*inst) + " mode " + std::to_string(mode), !inst->inited);
        if (inst->holdsEvaluator) ++lost_;  // the second init forgets the first one's
        const std::size_t before = host_.evaluators.size();
        if (filter_.rend.init(inst->p, mode) != nullptr) fail("init gave an error");
        inst->inited = true;
        inst->timed = false;
        inst->holdsEvaluator = host_.evaluators.size() > before;
    }

    void newTime() {
        Instance* inst = choose([](const Instance& i) { return i.inited; });
        if (inst == nullptr) return note("new time: no instance");
        const int frame = d_.between(-2, 30);
        const double time = d_.chance(0.9) ? frame / 24.0 : d_.number();
        note("new time " + name(*inst) + " frame " + std::to_string(frame) + " time " +
                 std::to_string(time),
             inst->inited);
        if (filter_.rend.newTime(inst->p, frame, time) != nullptr) fail("new time gave an error");
        inst->timed = inst->inited;
    }

    void endRender() {
        std::string what = "end the render:";
        for (Instance& i : live_)
            if (i.inited) what += " cleanup " + name(i);
        note(what);
        for (Instance& i : live_) {
            if (!i.inited) continue;
            filter_.rend.cleanup(i.p);
            i.inited = i.timed = i.holdsEvaluator = false;
        }
    }

    void evaluate() {
        auto ready = [](const Instance& i) { return i.inited && i.timed; };
        // Mostly the host starts a render before it asks for pixels.
        if (std::none_of(live_.begin(), live_.end(), ready) && d_.chance(0.7)) {
            if (rendering()) return newTime();
            return init();
        }
        Instance* inst = choose(ready);
        if (inst == nullptr) return note("evaluate: no instance");
        const int pixels = d_.between(1, 4);
        note("evaluate " + name(*inst) + ", " + std::to_string(pixels) + " pixel(s)", ready(*inst));
        for (int k = 0; k < pixels; ++k) pixel(*inst);
    }

    // One pixel of a random kind through the instance's evaluate.
    void pixel(Instance& inst) {
        const auto& info = host_.sceneInfo();
        const double sx = d_.chance(0.9) ? d_.between(0, std::max(0, info.frameWidth - 1)) +
                                               (d_.chance(0.5) ? d_.uniform(0, 1) : 0.0)
                                         : d_.number();
        const double sy =
            d_.chance(0.9) ? d_.between(0, std::max(0, info.frameHeight - 1)) : d_.number();
        for (float& c : px_.rgba)
            c = static_cast<float>(d_.chance(0.95) ? d_.uniform(0, 1) : d_.number());
        for (float& c : px_.diffuse) c = static_cast<float>(d_.uniform(0, 1));
        for (float& c : px_.specular) c = static_cast<float>(d_.uniform(0, 1));
        std::string what;
        if (d_.chance(0.6)) {
            px_.distance = d_.chance(0.9) ? d_.uniform(0, 100) : d_.pick({0.0, -0.0, kInf});
            if (d_.chance(0.2)) {
                d_.bytes(&px_.shading, sizeof px_.shading);
                what = "a hit with a shading record of random bytes";
            } else {
                px_.shading = {};
                HostShadingRecord& s = px_.shading;
                for (double* v : {&s.luminosity, &s.diffuse, &s.specularity, &s.reflection,
                                  &s.transparency, &s.translucency, &s.bumpHeight, &s.shading,
                                  &s.reflectionBlur, &s.refractionBlur, &s.replacementPercentage})
                    *v = d_.chance(0.9) ? d_.uniform(0, 1) : d_.number();
                for (int i = 0; i < 3; ++i) {
                    s.color[i] = d_.uniform(0, 1);
                    s.normal[i] = d_.uniform(-1, 1);
                    s.reflectionShade[i] = d_.uniform(0, 1);
                    s.refractionShade[i] = d_.uniform(0, 1);
                }
                s.lightCount = static_cast<uint32_t>(d_.between(0, 4));
                what = "a hit";
            }
        } else {
            px_.distance = d_.pick({-1.0, -1e-300, kNaN, -kInf});
            px_.shading = {};
            what = "a miss";
        }
        more("(" + std::to_string(sx) + ", " + std::to_string(sy) + "): " + what);
        const PixelResult r = EvaluatePixel(host_, filter_.filter, inst.p, sx, sy, px_);
        if (r.writes != 1)
            fail("the filter wrote the pixel " + std::to_string(r.writes) + " times");
    }

    void cleanup() {
        Instance* inst = choose([](const Instance& i) { return i.inited; });
        if (inst == nullptr) return note("cleanup: no instance");
        note("cleanup " + name(*inst), inst->inited);
        // The editor's count is the module's, not the instance's: this takes another's render.
        unbalanced_ = unbalanced_ || !inst->inited;
        filter_.rend.cleanup(inst->p);
        inst->inited = inst->timed = inst->holdsEvaluator = false;
    }

    void destroy() {
        Instance* inst = choose([](const Instance& i) { return !i.inited; });
        if (inst == nullptr) return note("destroy: no instance");
        note("destroy " + name(*inst) + (inst->inited ? " in the middle of a render" : ""),
             !inst->inited);
        if (inst->holdsEvaluator) ++lost_;
        filter_.inst.destroy(inst->p);
        forget(inst);
    }

    // The host calls an editor's callbacks whenever it shows the editor, also after the
    // instance that made it is gone (the module never takes an editor back).
    void callbacks() {
        std::vector<NodeEditor*> editors;
        for (std::size_t i = editorsBefore_; i < host_.editors().size(); ++i)
            editors.push_back(host_.editors()[i].get());
        if (editors.empty()) return note("editor callbacks: no editor");
        NodeEditor* e = d_.pick(editors);
        bool owned = false;
        for (const Instance& i : live_) owned = owned || i.editor == e;
        note("query, callback and preview of " + e->handleName() +
                 (owned ? "" : ", whose instance is gone"),
             owned);
        const auto id = reinterpret_cast<NodeEditorID>(e);
        if (e->rootDesc().query != nullptr && e->rootDesc().query(id) != 0)
            fail("the root query answered other than 0");
        if (e->callback != nullptr) e->callback(id);
        HostNodalAccess nodal{};
        if (d_.chance(0.3)) d_.bytes(&nodal, sizeof nodal);
        double rgb[3] = {kNaN, kNaN, kNaN};
        if (e->rootDesc().preview != nullptr)
            e->rootDesc().preview(id, d_.chance(0.5) ? &nodal : nullptr, rgb);
    }

    // An input of the current editor to feed: the root's or a built-in node's.
    NodeInput* someInput() {
        std::vector<NodeInput*> inputs = {current_->root().input("Output")};
        for (const auto& n : current_->nodes())
            for (const auto& in : n->inputs) inputs.push_back(in.get());
        return d_.pick(inputs);
    }
    void feed(NodeOutput& out) {
        NodeInput* to = someInput();
        if (to == nullptr || current_->wouldLoop(out, *to)) return;
        current_->disconnect(*to);
        current_->connect(out, *to);
        log_.back() += ", connected to " + to->node->type + " " + to->name;
    }

    void addSample() {
        if (current_ == nullptr || !ours(current_)) return note("add a sample node: no editor");
        note("add a sample node to " + current_->handleName());
        try {
            Node& n = host_.addPluginNode(*current_, kSample);
            if (d_.chance(0.8)) feed(*n.output(d_.pick(kSampleOutputs)));
        } catch (const std::runtime_error& e) {
            log_.back() += std::string(" (") + e.what() + ")";
        }
    }

    void addBuiltin() {
        if (current_ == nullptr || !ours(current_)) return note("add a node: no editor");
        const BuiltinNodeType& t = d_.pick(BuiltinNodeTypes());
        note("add a " + std::string(t.name) + " node to " + current_->handleName());
        Node& n = current_->addBuiltin(t.name);
        for (const auto& in : n.inputs)
            for (double& v : in->value) v = d_.uniform(-3, 3);
        if (d_.chance(0.8)) feed(*n.outputs[d_.below(static_cast<int>(n.outputs.size()))]);
    }

    void changeScene() {
        switch (d_.below(6)) {
            case 0: {
                const int w = d_.pick({0, 1, 2, 7, 64, 640}), h = d_.pick({0, 1, 3, 48, 480});
                note("frame size " + std::to_string(w) + " x " + std::to_string(h));
                host_.setFrameSize(w, h);
                break;
            }
            case 1: {
                HostCamera& c = d_.chance(0.5) ? host_.cameras().front() : host_.cameras().back();
                note("reshape camera " + c.name);
                CameraState& s = c.state;
                for (double& v : s.position) v = d_.uniform(-10, 10);
                for (double& v : s.filmOffset) v = d_.chance(0.7) ? 0 : d_.uniform(-1, 1);
                s.zoom = d_.chance(0.9) ? d_.uniform(0.5, 5) : d_.number();
                s.pixelAspect = d_.chance(0.9) ? d_.uniform(0.5, 2) : d_.number();
                if (d_.chance(0.1)) s.right = s.up = s.forward = {0, 0, 0};
                break;
            }
            case 2: {
                HostCamera& c = host_.cameras()[d_.below(static_cast<int>(host_.cameras().size()))];
                const bool own = d_.chance(0.5);
                note("camera " + c.name + (own ? " forms its own rays" : " is a pinhole"));
                c.projection = own ? Projection::Orthographic : Projection::Perspective;
                c.flags = own ? static_cast<uint32_t>(kCameraOwnRays) : 0u;
                break;
            }
            case 3:
                if (host_.cameras().size() < 4) {
                    note("add a camera");
                    host_.addCamera("Camera" + std::to_string(host_.cameras().size() + 1));
                    host_.renderCameraSwitches = {{0.0, 0},
                                                  {d_.uniform(0, 1), host_.cameras().size() - 1}};
                } else {
                    note("no camera added");
                }
                break;
            case 4:
                host_.config.refuseCameraEvaluator = d_.chance(0.3);
                note(std::string("the host ") +
                     (host_.config.refuseCameraEvaluator ? "refuses" : "makes") +
                     " camera evaluators");
                break;
            default:
                host_.config.editorReady = d_.chance(0.8);
                note(std::string("the editor is ") + (host_.config.editorReady ? "" : "not ") +
                     "ready");
        }
    }

    void describe() {
        if (live_.empty()) return note("describe: no instance");
        Instance& inst = live_[d_.below(static_cast<int>(live_.size()))];
        note("describe and flags of " + name(inst));
        const char* text = filter_.inst.describe(inst.p);
        if (text == nullptr || std::string(text) != "pexil_nodePF") fail("wrong description");
        if (filter_.filter.flags(inst.p) != 0x8000000Fu) fail("wrong flags");
    }

    // Unloading needs every instance gone first; the host then loads the file again.
    void reload() {
        if (!live_.empty()) return note("reload: instances are live");
        note("unload the module and load it again");
        module_.reset();
        loadModule();
    }

    uint32_t seed_;
    int steps_;
    bool verbose_;
    Dice d_;
    int step_ = 0;
    std::vector<std::string> log_;
    std::string failure_;
    bool legal_ = true;
    bool unbalanced_ = false;  // the editor's count of renders is off (see settle)

    Host host_;
    std::unique_ptr<ModuleFile> module_;
    std::string missing_;        // the service this host lacks, if any
    HandlerRecords filter_;      // from the last successful activation
    bool filterReady_ = false;   // filter_ holds an activation of the loaded module
    bool nodeServices_ = false;  // the module holds what the sample node needs
    std::vector<Instance> live_;
    int made_ = 0;
    NodeEditor* current_ = nullptr;  // the module's editor: the one its last create made
    std::size_t editorsBefore_ = 0;  // editors made by earlier loads of the module
    std::size_t lost_ = 0;           // evaluators the host's own mistakes made the module lose
    ScriptedPixel px_;
};

TEST(SequenceTest, RandomWalksOverHostCallsKeepTheModuleSound) {
    const long only = EnvNumber("PEXIL_SEQUENCE_SEED", 0);
    const long seeds = EnvNumber("PEXIL_SEQUENCE_SEEDS", 50);
    const int steps = static_cast<int>(EnvNumber("PEXIL_SEQUENCE_STEPS", 200));
    const bool verbose = EnvNumber("PEXIL_SEQUENCE_VERBOSE", 0) != 0;
    CrashReport crashes;
    const long first = only > 0 ? only : 1, last = only > 0 ? only : seeds;
    for (long seed = first; seed <= last; ++seed) {
        const std::string failure = Walk(static_cast<uint32_t>(seed), steps, verbose).run();
        if (!failure.empty()) FAIL() << failure;
    }
}

}  // namespace
}  // namespace pexil::host

// ---- Cases the walks found, kept as plain tests ----

namespace pexil::host::testing {
namespace {

// An editor outlives the instance that made it and may still name it as its user data, and the
// host calls an editor's preview whenever it shows the editor. A preview after the instance is
// destroyed must not read it: it evaluates nothing and gives black.
class EditorUserDataTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(activateFilter(), kActivateOk);
    }
    // Feeds the root of every editor, so that a preview that reads an instance evaluates.
    void feedEveryRoot() {
        for (const auto& e : host.editors()) {
            Node& c = e->addBuiltin("Constant");
            c.inputs[0]->value = {0.25, 0.5, 0.75};
            e->connect(*c.output("Color"), *e->root().input("Output"));
        }
    }
    // Destroys `gone`, then previews every editor that named it.
    void destroyThenPreview(void* gone) {
        std::vector<NodeEditor*> named;
        for (const auto& e : host.editors())
            if (e->userData == gone) named.push_back(e.get());
        ASSERT_FALSE(named.empty());
        destroy(gone);
        for (NodeEditor* e : named) {
            SCOPED_TRACE(e->handleName());
            host.trace().clear();
            double rgb[3] = {9, 9, 9};
            e->rootDesc().preview(reinterpret_cast<NodeEditorID>(e), nullptr, rgb);
            EXPECT_EQ(host.trace().texts(kNodeInputFuncsName), std::vector<std::string>{});
            EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0.0);
        }
    }
};

TEST_F(EditorUserDataTest, ThePreviewOfTheEditorAnInstanceMadeAfterALaterCreate) {
    void* a = create();  // editor1 names a
    void* b = create();  // the module's editor is now editor2
    feedEveryRoot();
    destroyThenPreview(a);
    destroy(b);
}

TEST_F(EditorUserDataTest, ThePreviewOfTheEditorAPixelNamedItInAfterALaterCreate) {
    void* a = create();
    void* b = create();  // editor2, the module's editor
    filter.rend.init(a, 0);
    filter.rend.newTime(a, 1, 0.0);
    ScriptedPixel px;
    px.distance = 1.0;
    EvaluatePixel(host, filter.filter, a, 10, 20, px);  // a hit: editor2 now names a
    filter.rend.cleanup(a);
    void* c = create();  // the module's editor is now editor3
    feedEveryRoot();
    destroyThenPreview(a);
    destroy(b);
    destroy(c);
}

}  // namespace
}  // namespace pexil::host::testing
