// The module's descriptor, server table and the three activations, driven
// through the host's real lookup function.
#include <string>
#include <vector>

#include "module_fixture.h"

namespace pexil::host::testing {
namespace {

const std::vector<std::string> kFilterServices = {
    "Animation Envelopes", "Channel Info 2",  "NodeEditorFuncs", "LW Item Info 4",
    "LW Camera Info 5",    "NodeFuncs",       "NodeInputFuncs",  "NodeOutputFuncs",
    "LW Scene Info 4",     "Instance Update", "Info Messages 2", "LW Camera Evaluation Funcs 2",
};

std::vector<std::string> Lookups(const Host& host) {
    std::vector<std::string> names;
    for (const TraceEntry& e : const_cast<Host&>(host).trace().entries())
        if (e.service == "global") names.push_back(e.args[0]);
    return names;
}

using DescriptorTest = ModuleTest;

TEST_F(DescriptorTest, DescriptorCarriesTheProtocolConstants) {
    const HostModuleDescriptor& d = module->descriptor();
    EXPECT_EQ(d.sysSync, 0x04121994u);
    EXPECT_EQ(d.sysVersion, 3u);
    EXPECT_EQ(d.sysMachine, 0x300u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(module->startupValue()), 4u);
}

TEST_F(DescriptorTest, ServerTableListsFourServersThenTheTerminator) {
    struct Row {
        const char* cls;
        const char* name;
        bool activates;
    };
    const Row expected[] = {
        {"PixelFilterHandler", "pexil_node", true},
        {"PixelFilterInterface", "pexil_node", true},
        {"NodeHandler", "pexil_PFOut", true},
        {"NodeInterface", "pexil_PFOut", false},
    };
    ASSERT_EQ(module->servers().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(module->servers()[i].className, expected[i].cls);
        EXPECT_EQ(module->servers()[i].serverName, expected[i].name);
        EXPECT_EQ(module->servers()[i].activate != nullptr, expected[i].activates);
    }
    const HostServerRecord& end = module->descriptor().servers[4];
    EXPECT_EQ(end.className, nullptr);
    EXPECT_EQ(end.serverName, nullptr);
    EXPECT_EQ(end.activate, nullptr);
    EXPECT_EQ(end.tagInfo, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(module->descriptor().servers[i].tagInfo, nullptr);
}

using FilterActivationTest = ModuleTest;

TEST_F(FilterActivationTest, OtherVersionsAreRefusedBeforeAnyLookup) {
    for (int32_t version : {5, 7, 0, -6, 1}) {
        SCOPED_TRACE(version);
        EXPECT_EQ(activateFilter(version), kActivateBadVersion);
        EXPECT_TRUE(Lookups(host).empty());
        EXPECT_TRUE(Untouched(filter.inst) && Untouched(filter.rend));
        EXPECT_TRUE(Untouched(filter.filter.evaluate) && Untouched(filter.filter.flags));
    }
}

TEST_F(FilterActivationTest, AcquiresTwelveServicesInOrderAndFillsTheRecords) {
    ASSERT_EQ(activateFilter(), kActivateOk);
    EXPECT_EQ(Lookups(host), kFilterServices);
    EXPECT_EQ(filter.inst.priv, reinterpret_cast<void*>(Host::globalFunction()));
    for (const void* fn : {(const void*)filter.inst.create, (const void*)filter.inst.destroy,
                           (const void*)filter.inst.copy, (const void*)filter.inst.load,
                           (const void*)filter.inst.save, (const void*)filter.inst.describe,
                           (const void*)filter.rend.init, (const void*)filter.rend.cleanup,
                           (const void*)filter.rend.newTime, (const void*)filter.filter.evaluate,
                           (const void*)filter.filter.flags})
        EXPECT_NE(fn, nullptr);
    EXPECT_TRUE(Untouched(filter.item));  // the item functions stay the host's
    EXPECT_EQ(filter.filter.inst, &filter.inst);
}

TEST_F(FilterActivationTest, AnyMissingServiceGivesTwoAfterAllTwelveWereRequested) {
    for (const std::string& missing : kFilterServices) {
        SCOPED_TRACE(missing);
        host.trace().clear();
        filter.reset();
        host.config.withheld = {missing};
        EXPECT_EQ(activateFilter(), kActivateNoService);
        EXPECT_EQ(Lookups(host), kFilterServices);
        EXPECT_TRUE(Untouched(filter.inst) && Untouched(filter.rend));
        EXPECT_TRUE(Untouched(filter.filter.evaluate) && Untouched(filter.filter.flags));
    }
}

TEST_F(FilterActivationTest, AServiceUnknownToTheHostCountsAsMissing) {
    // A host that answers null for everything: nothing is offered at all.
    for (const std::string& s : kFilterServices) host.config.withheld.insert(s);
    EXPECT_EQ(activateFilter(), kActivateNoService);
}

using InterfaceActivationTest = ModuleTest;

TEST_F(InterfaceActivationTest, RefusesOtherVersions) {
    for (int32_t version : {3, 5, 6}) {
        EXPECT_EQ(activateInterface(version), kActivateBadVersion);
        EXPECT_TRUE(Lookups(host).empty());
        EXPECT_TRUE(Untouched(ui.ui));
    }
}

TEST_F(InterfaceActivationTest, NeedsThePanelServiceButNotTheImageUtilities) {
    host.config.withheld = {"LWXPanel"};
    EXPECT_EQ(activateInterface(), kActivateNoService);
    EXPECT_EQ(Lookups(host), std::vector<std::string>{"LWXPanel"});
    EXPECT_TRUE(Untouched(ui.ui));

    host.trace().clear();
    host.config.withheld = {"Image Utility 2"};
    EXPECT_EQ(activateInterface(), kActivateOk);
    EXPECT_EQ(Lookups(host), (std::vector<std::string>{"LWXPanel", "Image Utility 2"}));
}

TEST_F(InterfaceActivationTest, ClearsOptionsAndCommandAndLeavesThePanel) {
    EXPECT_EQ(activateInterface(), kActivateOk);
    EXPECT_EQ(ui.ui.options, nullptr);
    EXPECT_EQ(ui.ui.command, nullptr);
    EXPECT_TRUE(Untouched(ui.ui.panel));
    EXPECT_TRUE(Untouched(ui.ui.instance));
}

TEST_F(InterfaceActivationTest, PresentsTheEditorOnlyWhenOneExists) {
    EXPECT_EQ(activateInterface(), kActivateOk);
    EXPECT_TRUE(host.trace().texts(kNodeEditorFuncsName).empty());

    ASSERT_EQ(activateFilter(), kActivateOk);
    void* a = create();
    void* b = create();  // the module's editor is now the second one
    host.trace().clear();
    EXPECT_EQ(activateInterface(), kActivateOk);
    EXPECT_EQ(host.trace().texts(kNodeEditorFuncsName),
              std::vector<std::string>{"NodeEditorFuncs 21 present(editor2)"});
    EXPECT_EQ(host.editors()[1]->presented, 1);
    destroy(a);
    destroy(b);
}

using NodeActivationTest = ModuleTest;

TEST_F(NodeActivationTest, BeforeTheFilterHandlerItLacksServices) {
    EXPECT_EQ(activateNode(1), kActivateNoService);
    EXPECT_EQ(activateNode(2), kActivateBadVersion);
    EXPECT_TRUE(Lookups(host).empty());  // the node acquires nothing itself
}

TEST_F(NodeActivationTest, EachNodeServiceIsRequired) {
    for (const char* missing :
         {"NodeFuncs", "NodeEditorFuncs", "NodeInputFuncs", "NodeOutputFuncs"}) {
        SCOPED_TRACE(missing);
        host.config.withheld = {missing};
        EXPECT_EQ(activateFilter(), kActivateNoService);
        node.reset();
        EXPECT_EQ(activateNode(), kActivateNoService);
        EXPECT_TRUE(Untouched(node.inst) && Untouched(node.node.evaluate));
    }
}

TEST_F(NodeActivationTest, NeedsAReadyEditor) {
    ASSERT_EQ(activateFilter(), kActivateOk);
    EXPECT_EQ(activateNode(), kActivateNoEditor);  // no instance, so no editor

    void* inst = create();
    host.config.editorReady = false;
    host.trace().clear();
    EXPECT_EQ(activateNode(), kActivateNoEditor);
    EXPECT_EQ(host.trace().texts(kNodeEditorFuncsName),
              std::vector<std::string>{"NodeEditorFuncs 22 is ready(editor1)"});
    EXPECT_TRUE(Untouched(node.inst) && Untouched(node.rend) && Untouched(node.node.evaluate));

    host.config.editorReady = true;
    EXPECT_EQ(activateNode(), kActivateOk);
    EXPECT_EQ(node.inst.priv, reinterpret_cast<void*>(Host::globalFunction()));
    for (const void* fn :
         {(const void*)node.inst.create, (const void*)node.inst.destroy,
          (const void*)node.inst.copy, (const void*)node.inst.load, (const void*)node.inst.save,
          (const void*)node.rend.init, (const void*)node.rend.cleanup,
          (const void*)node.rend.newTime, (const void*)node.node.evaluate})
        EXPECT_NE(fn, nullptr);
    EXPECT_TRUE(Untouched(node.inst.describe));
    EXPECT_TRUE(Untouched(node.item));
    EXPECT_TRUE(Untouched(node.node.customPreview));
    destroy(inst);
}

TEST_F(NodeActivationTest, AFailedEditorCreationTakesTheEditorAway) {
    ASSERT_EQ(activateFilter(), kActivateOk);
    void* inst = create();
    ASSERT_EQ(activateNode(), kActivateOk);

    host.config.refuseEditor = true;
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(activateNode(), kActivateNoEditor);
    host.trace().clear();
    EXPECT_EQ(activateInterface(), kActivateOk);  // opens nothing, still succeeds
    EXPECT_TRUE(host.trace().texts(kNodeEditorFuncsName).empty());
    destroy(inst);
}

TEST_F(NodeActivationTest, UnloadingTheModuleForgetsWhatItAcquired) {
    ASSERT_EQ(activateFilter(), kActivateOk);
    void* inst = create();
    destroy(inst);
    module.reset();  // unload, then load again
    module = std::make_unique<ModuleFile>(PEXIL_MODULE_PATH);
    EXPECT_EQ(activateNode(), kActivateNoService);
}

}  // namespace
}  // namespace pexil::host::testing
