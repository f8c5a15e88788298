// The module one pixel at a time: its evaluate against a baseline that makes
// only the same pixel access calls, networks of growing length behind the
// root, heap allocations per pixel, and what creating a filter instance and a
// sample node leaves allocated.
//
// The C allocator is replaced here by a counting one. The program is linked
// with its symbols exported, so the dlopened module binds to it too; an
// allocation counts as the module's when its caller's code lies in the
// module's file (the module allocates with calloc directly).
#include <benchmark/benchmark.h>
#include <link.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/host.h"
#include "host/module_file.h"
#include "host/node_editor.h"
#include "host/pixel.h"
#include "host/plugin.h"
#include "sdk/pixel.h"
#include "sdk/shading.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {

struct Tally {
    std::atomic<long> calls{0};  // malloc, calloc and realloc calls
    std::atomic<long> bytes{0};  // bytes asked for
    std::atomic<long> held{0};   // usable bytes allocated minus usable bytes freed
    void clear() { calls = 0, bytes = 0, held = 0; }
};

std::atomic<bool> gCounting{false};
Tally gAll;     // every allocation in the process
Tally gModule;  // those whose caller is the module's code
std::atomic<std::uintptr_t> gModuleBegin{0}, gModuleEnd{0};

bool FromModule(const void* caller) {
    const auto a = reinterpret_cast<std::uintptr_t>(caller);
    return a >= gModuleBegin.load(std::memory_order_relaxed) &&
           a < gModuleEnd.load(std::memory_order_relaxed);
}

void Note(const void* caller, std::size_t asked, long held, bool call) {
    Tally* tallies[2] = {&gAll, FromModule(caller) ? &gModule : nullptr};
    for (Tally* t : tallies) {
        if (t == nullptr) continue;
        if (call) t->calls.fetch_add(1, std::memory_order_relaxed);
        t->bytes.fetch_add(static_cast<long>(asked), std::memory_order_relaxed);
        t->held.fetch_add(held, std::memory_order_relaxed);
    }
}

bool Counting() {
    return gCounting.load(std::memory_order_relaxed);
}

long Usable(void* p) {
    return p ? static_cast<long>(malloc_usable_size(p)) : 0;
}

}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    if (Counting()) Note(__builtin_return_address(0), n, Usable(p), true);
    return p;
}
void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    if (Counting()) Note(__builtin_return_address(0), n * size, Usable(p), true);
    return p;
}
void* realloc(void* p, std::size_t n) {
    if (!Counting()) return __libc_realloc(p, n);
    const long before = Usable(p);
    void* q = __libc_realloc(p, n);
    // A failed realloc keeps the old block; realloc(p, 0) frees it.
    const long change = q ? Usable(q) - before : (n == 0 ? -before : 0);
    Note(__builtin_return_address(0), n, change, true);
    return q;
}
void free(void* p) {
    if (p && Counting()) Note(__builtin_return_address(0), 0, -Usable(p), false);
    __libc_free(p);
}
}

namespace pexil::host {
namespace {

// Allocations between construction and stop(), in the whole process and by the module.
class AllocationCount {
  public:
    AllocationCount() {
        gAll.clear();
        gModule.clear();
        gCounting = true;
    }
    ~AllocationCount() { gCounting = false; }
    void stop() { gCounting = false; }
    static long calls() { return gAll.calls; }
    static const Tally& all() { return gAll; }
    static const Tally& module() { return gModule; }
};

// Points the counter's "module" at the loaded file holding `address`, and
// returns the size of that file's writable segments: the module's static data,
// there once however many instances it makes.
std::size_t WatchModule(const void* address) {
    struct Range {
        std::uintptr_t want, begin = 0, end = 0;
        std::size_t writable = 0;
    } range{reinterpret_cast<std::uintptr_t>(address)};
    dl_iterate_phdr(
        [](dl_phdr_info* object, std::size_t, void* data) {
            auto& r = *static_cast<Range*>(data);
            std::uintptr_t lo = UINTPTR_MAX, hi = 0;
            std::size_t writable = 0;
            for (int i = 0; i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = object->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                lo = std::min<std::uintptr_t>(lo, object->dlpi_addr + ph.p_vaddr);
                hi = std::max<std::uintptr_t>(hi, object->dlpi_addr + ph.p_vaddr + ph.p_memsz);
                if (ph.p_flags & PF_W) writable += ph.p_memsz;
            }
            if (r.want < lo || r.want >= hi) return 0;
            r.begin = lo, r.end = hi, r.writable = writable;
            return 1;
        },
        &range);
    if (range.end == 0) throw std::runtime_error("cannot find the module file in the process");
    gModuleBegin = range.begin;
    gModuleEnd = range.end;
    return range.writable;
}

// The filter server activated and one instance of it in its first frame, in a
// host that records nothing, with a scripted pixel whose reads and ray shade do
// no work beyond copying what they were given.
struct FilterBench {
    Host host;
    std::unique_ptr<ModuleFile> module;
    HandlerRecords records;
    void* instance = nullptr;
    NodeEditor* editor = nullptr;
    ScriptedPixel pixel;
    std::size_t moduleStatic = 0;  // bytes of the module's writable segments

    FilterBench() {
        host.config.trace = false;
        module = std::make_unique<ModuleFile>(PEXIL_MODULE_PATH);
        host.useModule(module.get());
        moduleStatic = WatchModule(&module->descriptor());
        const ServerEntry* server = module->find(kPixelFilterHandlerClass, "pexil_node");
        if (server == nullptr) throw std::runtime_error("the module has no filter pexil_node");
        if (const int32_t r = Activate(*server, 6, records); r != kActivateOk)
            throw std::runtime_error(std::string("activating pexil_node: ") +
                                     ActivationResultText(r));
        instance = create();
        editor = host.editors().back().get();
        host.cameras()[0].state.position = {0, 0, -5};
        host.setFrameSize(1920, 1080);
        records.rend.init(instance, 0);
        records.rend.newTime(instance, 1, 0.0);

        pixel.keepRays = false;
        pixel.rgba = {0.25f, 0.5f, 0.75f, 1.0f};
        pixel.diffuse = {0.2f, 0.4f, 0.6f};
        pixel.specular = {0.1f, 0.1f, 0.1f};
        HostShadingRecord& s = pixel.shading;
        s.color[0] = 0.8, s.color[1] = 0.6, s.color[2] = 0.4;
        s.diffuse = 0.9, s.specularity = 0.3, s.reflection = 0.2, s.transparency = 0.1;
        s.shading = 0.7;
    }
    ~FilterBench() {
        if (instance == nullptr) return;
        records.rend.cleanup(instance);
        editor->clear();
        records.inst.destroy(instance);
        module.reset();
    }
    FilterBench(const FilterBench&) = delete;
    FilterBench& operator=(const FilterBench&) = delete;

    void* create() {
        HostError error = nullptr;
        void* made = records.inst.create(records.inst.priv, nullptr, &error);
        if (made == nullptr)
            throw std::runtime_error(std::string("creating a pexil_node instance: ") +
                                     (error ? error : "no reason given"));
        return made;
    }

    // pexil_PFOut "DiffuseShading" into a chain of `nodes` - 1 built-in nodes,
    // ColorScale and ColorAdd by turns, into the root's "Output".
    void chain(int nodes) {
        NodeOutput* out = host.addPluginNode(*editor, "pexil_PFOut").output("DiffuseShading");
        for (int i = 1; i < nodes; ++i) {
            Node& n = editor->addBuiltin(i % 2 ? "ColorScale" : "ColorAdd");
            n.inputs[1]->value = i % 2 ? PortValue{0.95, 0, 0} : PortValue{0.01, 0.02, 0.03};
            editor->connect(*out, *n.inputs[0]);
            out = n.outputs[0].get();
        }
        editor->connect(*out, *editor->root().input("Output"));
    }
};

// What a filter that does nothing of its own costs: the same pixel access
// calls as the module's evaluate, in the same order, and nothing else.
extern "C" void PX_CDECL BaselineEvaluate(void*, const HostPixelAccess* access) noexcept {
    static HostShadingRecord record;
    static const double start[3] = {0, 0, -5}, direction[3] = {0, 0, 1};
    float buffer[4];
    access->getValues(kBufferRgba, 4, buffer);
    if (access->rayShade(start, direction, &record) >= 0.0) {
        access->getValues(kBufferDiffuseShading, 3, buffer);
        access->getValues(kBufferSpecularShading, 3, buffer);
    }
    access->setRgba(buffer);
}

// A benchmark whose host saw the module misuse it measured nothing worth keeping.
void CheckMisuse(benchmark::State& state, const Host& host) {
    if (!host.misuse().empty()) state.SkipWithError(host.misuse().front().c_str());
}

// Evaluates pixels across a 1920 x 1080 frame, one an iteration, and reports
// the heap allocations they made (after a first pixel outside the count).
void RunPixels(benchmark::State& state, FilterBench& b, const HostPixelFilterHandler& filter,
               void* instance) {
    EvaluatePixel(b.host, filter, instance, 0, 0, b.pixel);
    long x = 0, y = 0;
    AllocationCount count;
    for (auto _ : state) {
        const PixelResult r = EvaluatePixel(b.host, filter, instance, static_cast<double>(x),
                                            static_cast<double>(y), b.pixel);
        benchmark::DoNotOptimize(r);
        if (++x == 1920) x = 0, y = (y + 1) % 1080;
    }
    count.stop();
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_pixel"] = benchmark::Counter(
        static_cast<double>(AllocationCount::calls()), benchmark::Counter::kAvgIterations);
    CheckMisuse(state, b.host);
}

enum class Root { Unconnected, SmallNetwork };

// The module's evaluate for a miss (distance < 0) or a hit.
void ModulePixel(benchmark::State& state, bool hit, Root root) {
    try {
        FilterBench b;
        if (root == Root::SmallNetwork) b.chain(2);
        b.pixel.distance = hit ? 2.5 : -1.0;
        RunPixels(state, b, b.records.filter, b.instance);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void BaselinePixel(benchmark::State& state, bool hit) {
    try {
        FilterBench b;
        b.pixel.distance = hit ? 2.5 : -1.0;
        HostPixelFilterHandler baseline = b.records.filter;
        baseline.evaluate = BaselineEvaluate;
        RunPixels(state, b, baseline, nullptr);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// A hit whose root is fed by a chain of state.range(0) nodes.
void NetworkPixel(benchmark::State& state) {
    try {
        FilterBench b;
        b.chain(static_cast<int>(state.range(0)));
        b.pixel.distance = 2.5;
        RunPixels(state, b, b.records.filter, b.instance);
        state.counters["nodes"] = static_cast<double>(state.range(0));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Allocations that creating a filter instance or a sample node makes and
// keeps, in the module and in the host (the editor and the node's ports):
// calls, bytes asked for and usable bytes still held afterwards, per create.
// The first of each is made before counting: it activates the node server.
struct AtRest {
    double moduleAllocs = 0, moduleBytes = 0, moduleHeld = 0, hostAllocs = 0, hostHeld = 0;

    void add() {
        const Tally &all = AllocationCount::all(), &module = AllocationCount::module();
        moduleAllocs += static_cast<double>(module.calls);
        moduleBytes += static_cast<double>(module.bytes);
        moduleHeld += static_cast<double>(module.held);
        hostAllocs += static_cast<double>(all.calls - module.calls);
        hostHeld += static_cast<double>(all.held - module.held);
    }
    void report(benchmark::State& state) const {
        using benchmark::Counter;
        const std::pair<const char*, double> counters[] = {
            {"module_allocs", moduleAllocs}, {"module_bytes", moduleBytes},
            {"module_held", moduleHeld},     {"host_allocs", hostAllocs},
            {"host_held", hostHeld},
        };
        for (const auto& [name, total] : counters)
            state.counters[name] = Counter(total, Counter::kAvgIterations);
    }
};

void FilterInstanceAtRest(benchmark::State& state) {
    try {
        FilterBench b;
        AtRest kept;
        for (auto _ : state) {
            AllocationCount count;
            void* made = b.create();
            count.stop();
            kept.add();
            b.records.inst.destroy(made);
        }
        kept.report(state);
        state.counters["module_static_bytes"] = static_cast<double>(b.moduleStatic);
        CheckMisuse(state, b.host);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void SampleNodeAtRest(benchmark::State& state) {
    try {
        FilterBench b;
        b.host.makePluginNode(*b.editor, "pexil_PFOut", b.editor->nextId());
        AtRest kept;
        for (auto _ : state) {
            AllocationCount count;
            std::unique_ptr<Node> node =
                b.host.makePluginNode(*b.editor, "pexil_PFOut", b.editor->nextId());
            count.stop();
            kept.add();
        }
        kept.report(state);
        CheckMisuse(state, b.host);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

const bool kRegistered = [] {
    using benchmark::RegisterBenchmark;
    RegisterBenchmark("pixel/miss/module", ModulePixel, false, Root::Unconnected);
    RegisterBenchmark("pixel/miss/baseline", BaselinePixel, false);
    RegisterBenchmark("pixel/hit_unconnected/module", ModulePixel, true, Root::Unconnected);
    RegisterBenchmark("pixel/hit/module", ModulePixel, true, Root::SmallNetwork);
    RegisterBenchmark("pixel/hit/baseline", BaselinePixel, true);
    RegisterBenchmark("network", NetworkPixel)->ArgName("nodes")->Arg(1)->Arg(5)->Arg(20);
    RegisterBenchmark("memory/filter_instance", FilterInstanceAtRest)->Iterations(20);
    RegisterBenchmark("memory/sample_node", SampleNodeAtRest)->Iterations(20);
    return true;
}();

}  // namespace
}  // namespace pexil::host
