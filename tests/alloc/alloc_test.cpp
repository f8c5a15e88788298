// The per-pixel path allocates nothing. This program replaces the C
// allocator with a counting one that every library in the process, the
// dlopened module included, binds to; it is built apart from the other tests
// so that the replacement touches nothing else.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "host/host.h"
#include "host/module_file.h"
#include "host/pixel.h"
#include "host/plugin.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
void Count() {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    Count();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    Count();
    return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
}

namespace pexil::host {
namespace {

TEST(Allocation, TheCounterSeesTheModulesAllocations) {
    // Creating a filter instance allocates inside the module: the counter must see it,
    // or a zero below would prove nothing.
    Host host;
    ModuleFile module(PEXIL_MODULE_PATH);
    HandlerRecords r;
    ASSERT_EQ(Activate(*module.find(kPixelFilterHandlerClass, "pexil_node"), 6, r), kActivateOk);
    host.config.trace = false;
    HostError error = nullptr;
    gAllocations = 0;
    gCounting = true;
    void* inst = r.inst.create(r.inst.priv, nullptr, &error);
    gCounting = false;
    EXPECT_GT(gAllocations.load(), 0);
    r.inst.destroy(inst);
}

TEST(Allocation, EvaluatedPixelsAllocateNothingAfterTheFirst) {
    Host host;
    ModuleFile module(PEXIL_MODULE_PATH);
    host.useModule(&module);
    host.config.trace = false;
    HandlerRecords r;
    ASSERT_EQ(Activate(*module.find(kPixelFilterHandlerClass, "pexil_node"), 6, r), kActivateOk);
    HostError error = nullptr;
    void* inst = r.inst.create(r.inst.priv, nullptr, &error);
    ASSERT_NE(inst, nullptr);
    NodeEditor& editor = *host.editors().back();
    Node& sample = host.addPluginNode(editor, "pexil_PFOut");
    editor.connect(*sample.output("DiffuseShading"), *editor.root().input("Output"));
    r.rend.init(inst, 0);
    r.rend.newTime(inst, 1, 0.0);

    ScriptedPixel px;
    px.keepRays = false;
    px.rgba = {0.5f, 0.5f, 0.5f, 1.0f};
    px.diffuse = {0.2f, 0.4f, 0.6f};
    px.distance = 3.0;
    EvaluatePixel(host, r.filter, inst, 0, 0, px);

    gAllocations = 0;
    gCounting = true;
    for (int i = 0; i < 2000; ++i) {
        px.distance = i % 3 == 0 ? -1.0 : 2.5;  // hits and misses
        EvaluatePixel(host, r.filter, inst, i % 640, i / 640, px);
    }
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_TRUE(host.misuse().empty());

    r.rend.cleanup(inst);
    editor.clear();
    r.inst.destroy(inst);
}

}  // namespace
}  // namespace pexil::host
