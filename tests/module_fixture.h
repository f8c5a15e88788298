// A host with the real module file loaded, fresh for every test: the file is
// unloaded after each one, so the module's state starts at its load values.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "filter/filter.h"
#include "host/host.h"
#include "host/module_file.h"
#include "host/plugin.h"

namespace pexil::host::testing {

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        module = std::make_unique<ModuleFile>(PEXIL_MODULE_PATH);
        host.useModule(module.get());
    }
    void TearDown() override {
        module.reset();
        EXPECT_TRUE(host.misuse().empty()) << "host saw misuse: " << host.misuse().front();
    }

    const ServerEntry& server(std::string_view cls, std::string_view name) {
        const ServerEntry* s = module->find(cls, name);
        EXPECT_NE(s, nullptr) << cls << " " << name;
        return *s;
    }
    int32_t activateFilter(int32_t version = 6) {
        return Activate(server(kPixelFilterHandlerClass, "pexil_node"), version, filter);
    }
    int32_t activateInterface(int32_t version = 4) {
        return Activate(server(kPixelFilterInterfaceClass, "pexil_node"), version, ui);
    }
    int32_t activateNode(int32_t version = 1) {
        return Activate(server(kNodeHandlerClass, "pexil_PFOut"), version, node);
    }
    // A new filter instance through the activated handler.
    void* create(HostError* error = nullptr) {
        HostError unused = nullptr;
        return filter.inst.create(filter.inst.priv, nullptr, error ? error : &unused);
    }
    void destroy(void* instance) { filter.inst.destroy(instance); }
    FilterInstance* as(void* instance) { return static_cast<FilterInstance*>(instance); }
    NodeEditor* lastEditor() {
        return host.editors().empty() ? nullptr : host.editors().back().get();
    }

    Host host;
    std::unique_ptr<ModuleFile> module;
    HandlerRecords filter, ui, node;
};

// A module test with the filter handler activated and one filter instance made.
class InstanceTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(activateFilter(), kActivateOk);
        inst = create();
        ASSERT_NE(inst, nullptr);
    }
    void TearDown() override {
        destroy(inst);
        ModuleTest::TearDown();
    }

    void* inst = nullptr;
};

}  // namespace pexil::host::testing
