// Files that are not usable modules get a clear error naming the file.
#include "host/module_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/host.h"

namespace pexil::host {
namespace {

namespace fs = std::filesystem;

class ModuleFileErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("pexil-modfile-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::string errorOf(const std::string& path) {
        try {
            ModuleFile m(path);
        } catch (const ModuleError& e) {
            return e.what();
        }
        return "(loaded)";
    }
    fs::path dir;
    Host host;
};

TEST_F(ModuleFileErrors, EachBadFileGetsItsReason) {
    std::ifstream real(PEXIL_MODULE_PATH, std::ios::binary);
    std::string head(4096, '\0');
    real.read(head.data(), static_cast<std::streamsize>(head.size()));
    const std::string fake = PEXIL_FAKE_MODULE_DIR;
    std::string otherMachine = head;  // e_machine at byte 18: aarch64
    otherMachine[18] = static_cast<char>(183);
    otherMachine[19] = 0;
    std::string otherClass = head;  // EI_CLASS at byte 4
    otherClass[4] = sizeof(void*) == 8 ? 1 : 2;
    const std::string self = sizeof(void*) == 8 ? "x86_64" : "i386";
    std::string notShared = head;  // e_type at byte 16: an executable
    notShared[16] = 2;
    notShared[17] = 0;
    // The Windows module's first bytes: the DOS stub's "MZ", then at 0x40 a PE header for i386.
    std::string pe(0x200, '\0');
    pe.replace(0, 2, "MZ");
    pe[0x3C] = 0x40;
    pe.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));

    struct Case {
        std::string path;
        std::string expected;  // what() starts with the path, then this
    };
    const Case cases[] = {
        {(dir / "missing.so").string(), ": no such module file"},
        {write("empty.so", ""), ": not a loadable module: "},
        {write("text.so", "this is not a module\n"),
         ": not a loadable module: it is not a shared library (no ELF header)"},
        {write("truncated.so", head), ": not a loadable module: the file is truncated"},
        {write("aarch64.so", otherMachine),
         ": not a loadable module: it is built for aarch64, this host runs on " + self},
        {write("otherclass.so", otherClass), ": not a loadable module: it is a "},
        {fake + "/no_descriptor.so", ": not a module: it exports no _mod_descrip"},
        {fake + "/wrong_sync.so",
         ": not a module for this host: synchronisation constant 0x12345678, expected 0x04121994"},
        {fake + "/wrong_version.so", ": module descriptor version 2 is not supported (expected 3)"},
        {write("executable.so", notShared), ": not a loadable module: it is not a shared library"},
        {write("pexil.p", pe),
         ": not a loadable module: it is not a shared library (no ELF header)"},
        {fake + "/undefined_symbol.so", ": not a loadable module: " + fake +
                                            "/undefined_symbol.so: undefined symbol: "
                                            "pexil_fake_nowhere"},
        {fake + "/no_servers.so", ": the module's descriptor has no server table"},
        {fake + "/unnamed_server.so", ": server 1 of class PixelFilterHandler has no name"},
        {fake + "/unterminated.so", ": the server table is not terminated"},
        {dir.string(), ": no such module file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string what = errorOf(c.path);
        EXPECT_EQ(what.rfind(c.path + c.expected, 0), 0u) << what;
    }
}

TEST(ModuleFile, LoadsTheRealModule) {
    Host host;
    ModuleFile m(PEXIL_MODULE_PATH);
    EXPECT_EQ(m.servers().size(), 4u);
    EXPECT_NE(m.find("NodeHandler", "pexil_PFOut"), nullptr);
    EXPECT_EQ(m.find("NodeHandler", "pexil_node"), nullptr);
}

}  // namespace
}  // namespace pexil::host
