// The plugin loader against the modules built from plugins/TestPlugin.cpp: one
// good module, one module per deliberate fault, and a directory of modules.

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Lib/PluginLoader.h>

#include <gtest/gtest.h>

#include <ostream>

#include <elf.h>
#include <link.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

using Code = PluginLoadResult::Code;

std::string pluginPath(const std::string& relative)
{
    const char* dir = std::getenv("QUORVANE_TEST_PLUGIN_DIR");
    return std::string(dir != nullptr ? dir : "testplugins") + "/" + relative;
}

/// Texts logged by the test modules (category "TestPlugin"), in order.
std::vector<std::string> moduleNotes(const RecordingLogSink& sink)
{
    std::vector<std::string> out;
    for (const auto& r : sink.records()) {
        if (r.category == "TestPlugin") {
            out.push_back(r.text);
        }
    }
    return out;
}

struct FaultRow
{
    const char* file;
    Code code;
    const char* says;       ///< part of the logged message
    bool pluginWasCreated;  ///< so the plugin must have been deleted again
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const FaultRow& row, std::ostream* os)
{
    *os << '"' << row.file << '"';
}

class BrokenPlugin : public ::testing::TestWithParam<FaultRow>
{
};

TEST_P(BrokenPlugin, IsRefusedWithItsReasonAndLeavesNothingBehind)
{
    const FaultRow& row = GetParam();
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);

    const PluginLoadResult result = loader.load(pluginPath(std::string("single/") + row.file + ".so"));

    EXPECT_EQ(result.code, row.code) << result.name() << ": " << result.message;
    EXPECT_FALSE(result.ok());
    EXPECT_STREQ(result.name(), PluginLoadResult::name(row.code));
    EXPECT_NE(result.message.find(row.says), std::string::npos) << result.message;
    EXPECT_EQ(capture.sink().count(4, "PluginLoader", result.message + " [" + result.name() + "]"), 1u);

    EXPECT_TRUE(loader.plugins().empty());
    EXPECT_TRUE(app.factorySets().empty()) << "factories of a refused plugin stay registered";
    EXPECT_TRUE(app.algorithmDescriptors().empty());

    const std::vector<std::string> notes = moduleNotes(capture.sink());
    const std::string id = result.identifier;
    if (row.pluginWasCreated) {
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.front(), id + ": plugin destroyed");
    }
    // The module was closed again (its static objects were destroyed).
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes.back().find(": module unloaded"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenPlugin,
    ::testing::Values(
        FaultRow{"missing_create", Code::MissingCreateExport, "missing export quorvaneCreatePlugin", false},
        FaultRow{"missing_id", Code::MissingIdExport, "missing export quorvanePluginId", false},
        FaultRow{"missing_descriptor", Code::MissingDescriptorExport,
                 "missing export quorvanePluginDescriptor", false},
        FaultRow{"null_descriptor", Code::BadDescriptor, "descriptor pointer is null", false},
        FaultRow{"bad_magic", Code::BadDescriptor, "does not start with the field", false},
        FaultRow{"swapped_fields", Code::BadDescriptor, "expected hostversion=", false},
        FaultRow{"newer_minor", Code::IncompatibleHostVersion, "built for host 4.6.0, this host is 4.5.0",
                 false},
        FaultRow{"other_major", Code::IncompatibleHostVersion, "built for host 5.0.0", false},
        FaultRow{"wrong_id", Code::IdentifierMismatch,
                 "'Test.WrongId' but the module's guard says 'Test.SomethingElse'", false},
        FaultRow{"no_guard", Code::NoRegistrationGuard, "no PluginAutoRegistrationGuard", false},
        FaultRow{"create_null", Code::CreateFailed, "quorvaneCreatePlugin returned null", false},
        FaultRow{"init_fails", Code::InitializeFailed, "initialize of plugin Test.InitFails returned 3",
                 true},
        FaultRow{"init_throws", Code::InitializeThrew, "threw: initialize failed on purpose", true},
        FaultRow{"unknown_dep", Code::MissingDependency, "needs Test.NobodyHasThis", true}),
    [](const ::testing::TestParamInfo<FaultRow>& row) { return std::string(row.param.file); });

/// A file of its own in the temporary folder, removed again at the end of the scope.
class TemporaryFile
{
public:
    TemporaryFile(const std::string& name, const std::string& bytes)
        : m_path(std::filesystem::temp_directory_path() /
                 ("quorvane-" + std::to_string(::getpid()) + "-" + name + ".so"))
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~TemporaryFile()
    {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class T>
T readAt(const std::string& bytes, std::size_t offset)
{
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

template <class T>
void writeAt(std::string& bytes, std::size_t offset, const T& value)
{
    std::memcpy(&bytes[offset], &value, sizeof value);
}

/// The good module's segment that ends last in the file.
ElfW(Phdr) lastSegment(const std::string& module)
{
    const auto header = readAt<ElfW(Ehdr)>(module, 0);
    ElfW(Phdr) last{};
    for (std::size_t i = 0; i < header.e_phnum; ++i) {
        const auto s = readAt<ElfW(Phdr)>(module, header.e_phoff + i * sizeof(ElfW(Phdr)));
        if (s.p_filesz > 0 && s.p_offset + s.p_filesz > last.p_offset + last.p_filesz) {
            last = s;
        }
    }
    return last;
}

struct DamagedRow
{
    const char* name;
    std::function<std::string(const std::string&)> damage;  ///< the good module's bytes -> the file's
    const char* says;                                       ///< part of the reason
};

void PrintTo(const DamagedRow& row, std::ostream* os)
{
    *os << '"' << row.name << '"';
}

class DamagedModule : public ::testing::TestWithParam<DamagedRow>
{
};

TEST_P(DamagedModule, IsRefusedBeforeDlopenWithItsReason)
{
    const DamagedRow& row = GetParam();
    const std::string good = readFile(pluginPath("single/good.so"));
    ASSERT_GT(good.size(), sizeof(ElfW(Ehdr)));
    const TemporaryFile file(row.name, row.damage(good));
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);

    const PluginLoadResult result = loader.load(file.path());

    EXPECT_EQ(result.code, Code::InvalidModuleFile) << result.name() << ": " << result.message;
    EXPECT_NE(result.message.find("not a complete ELF shared object for this machine: "), std::string::npos)
        << result.message;
    EXPECT_NE(result.message.find(row.says), std::string::npos) << result.message;
    EXPECT_EQ(capture.sink().count(4, "PluginLoader", result.message + " [InvalidModuleFile]"), 1u);
    EXPECT_TRUE(loader.plugins().empty());
    EXPECT_TRUE(moduleNotes(capture.sink()).empty()) << "the module was opened";
}

std::string truncated(const std::string& bytes, std::size_t size)
{
    return bytes.substr(0, size);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedModule,
    ::testing::Values(
        DamagedRow{"Empty", [](const std::string&) { return std::string(); }, "no ELF magic"},
        DamagedRow{"Text", [](const std::string&) { return std::string("not a shared library\n"); },
                   "not an ELF file"},
        DamagedRow{"IdentificationOnly", [](const std::string& b) { return truncated(b, EI_NIDENT); },
                   "ends inside the ELF header"},
        DamagedRow{"HeaderOnly", [](const std::string& b) { return truncated(b, sizeof(ElfW(Ehdr))); },
                   "the program header table"},
        DamagedRow{"MidProgramHeaders",
                   [](const std::string& b) {
                       const auto h = readAt<ElfW(Ehdr)>(b, 0);
                       return truncated(b, h.e_phoff + h.e_phentsize * h.e_phnum / 2 + 3);
                   },
                   "the program header table"},
        DamagedRow{"MidSegment",
                   [](const std::string& b) {
                       const ElfW(Phdr) s = lastSegment(b);
                       return truncated(b, s.p_offset + s.p_filesz / 2);
                   },
                   "truncated: segment"},
        DamagedRow{"LastSegmentOneByteShort",
                   [](const std::string& b) {
                       const ElfW(Phdr) s = lastSegment(b);
                       return truncated(b, s.p_offset + s.p_filesz - 1);
                   },
                   "truncated: segment"},
        DamagedRow{"OneByteShort", [](const std::string& b) { return truncated(b, b.size() - 1); },
                   "the section header table"},
        DamagedRow{"OtherMachine",
                   [](std::string b) {
                       auto h = readAt<ElfW(Ehdr)>(b, 0);
                       h.e_machine = h.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
                       writeAt(b, 0, h);
                       return b;
                   },
                   "built for another machine"},
        DamagedRow{"OtherClass",
                   [](std::string b) {
                       b[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS32 : ELFCLASS64;
                       return b;
                   },
                   "-bit ELF file; this host is"},
        DamagedRow{"OtherByteOrder",
                   [](std::string b) {
                       b[EI_DATA] = b[EI_DATA] == ELFDATA2LSB ? ELFDATA2MSB : ELFDATA2LSB;
                       return b;
                   },
                   "-endian ELF file; this host is"},
        DamagedRow{"Executable",
                   [](std::string b) {
                       auto h = readAt<ElfW(Ehdr)>(b, 0);
                       h.e_type = ET_EXEC;
                       writeAt(b, 0, h);
                       return b;
                   },
                   "not a shared object"},
        DamagedRow{"HugeSegmentOffset",
                   [](std::string b) {
                       const auto h = readAt<ElfW(Ehdr)>(b, 0);
                       auto s = readAt<ElfW(Phdr)>(b, h.e_phoff);
                       s.p_offset = ~decltype(s.p_offset){0} - 8;  // offset + size wraps around
                       s.p_filesz = 64;
                       writeAt(b, h.e_phoff, s);
                       return b;
                   },
                   "segment 0"}),
    [](const ::testing::TestParamInfo<DamagedRow>& row) { return std::string(row.param.name); });

TEST(PluginLoader, ReportsAMissingFileAndAModuleTheDynamicLinkerRefuses)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);

    const PluginLoadResult missing = loader.load(pluginPath("single/does_not_exist.so"));
    EXPECT_EQ(missing.code, Code::FileNotFound) << missing.message;

    const PluginLoadResult refused = loader.load(pluginPath("single/undefined_symbol.so"));
    EXPECT_EQ(refused.code, Code::OpenFailed) << refused.message;
    EXPECT_NE(refused.message.find("quorvaneTestNobodyDefinesThis"), std::string::npos) << refused.message;
    EXPECT_EQ(capture.sink().count(4, "PluginLoader", refused.message + " [OpenFailed]"), 1u);
    EXPECT_TRUE(loader.plugins().empty());
}

TEST(PluginLoader, LoadsAGoodPluginAndItsFactoriesServeTheHost)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    app.globalSettings().setParam("Test.Good.Echo/value", 42);
    PluginLoader loader(app);

    const PluginLoadResult result = loader.load(pluginPath("single/good.so"));
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.identifier, "Test.Good");
    EXPECT_EQ(capture.sink().count(2, "PluginLoader",
                                   "Loaded plugin Test.Good from " + pluginPath("single/good.so")),
              1u);

    ASSERT_EQ(loader.plugins().size(), 1u);
    const PluginLoader::PluginInfo info = loader.plugins().front();
    EXPECT_EQ(info.vendor, "Test vendor");
    EXPECT_EQ(info.description, "Loader test plugin");
    EXPECT_EQ(info.dependencies, std::vector<std::string>{"Quorvane.Stream"});
    EXPECT_EQ(info.descriptor.major, 4);
    EXPECT_EQ(info.descriptor.minor, 5);
    using Flag = std::pair<std::string, std::string>;
    EXPECT_EQ(info.descriptor.buildFlags, (std::vector<Flag>{{"MSC_VER", "1929"}, {"IDL", "0"}}));
    EXPECT_EQ(info.descriptor.pluginVersion, "");

    ASSERT_EQ(app.algorithmDescriptors().size(), 1u);
    const AlgorithmDescriptor d = app.algorithmDescriptors().front();
    EXPECT_EQ(d.name, "Test.Good.Echo");
    EXPECT_EQ(d.displayName, "Echo");
    EXPECT_EQ(d.tag, 7);
    EXPECT_TRUE(d.isIo);

    {
        std::unique_ptr<Algorithm> algorithm = app.instantiateAlgorithm("Test.Good.Echo");
        ASSERT_NE(algorithm, nullptr);
        EXPECT_EQ(algorithm->factoryInfo().name, "Test.Good.Echo");
        // Host-wide defaults reached the plugin's algorithm through configureFromGlobalSettings.
        Properties configuration;
        algorithm->configuration(&configuration);
        int value = 0;
        EXPECT_TRUE(configuration.param("value", value));
        EXPECT_EQ(value, 42);
        // The plugin's type identity is the host's: the cast crosses the module boundary.
        auto* io = dynamic_cast<IoAlgorithm*>(algorithm.get());
        ASSERT_NE(io, nullptr);
        EXPECT_TRUE(io->canLoad("/data/scan.ECHO"));
        EXPECT_FALSE(io->canLoad("/data/echo"));

        std::unique_ptr<AlgorithmController> controller = app.createController(algorithm.get());
        ASSERT_NE(controller, nullptr);
        EXPECT_EQ(controller->algorithm(), algorithm.get());
    }
    const auto& set = app.factorySets().front();
    ASSERT_NE(set.algorithmFactory, nullptr);
    EXPECT_EQ(set.algorithmFactory->compatibleIoDescriptors("x/scan.echo").size(), 1u);
    EXPECT_TRUE(set.algorithmFactory->compatibleIoDescriptors("x/scan.txt").empty());

    capture.sink().clear();
    loader.unloadAll();
    EXPECT_TRUE(app.factorySets().empty());
    // The algorithms made above were destroyed by the test; the loader destroys the plugin,
    // then its factories, then closes the module.
    const std::vector<std::string> notes = moduleNotes(capture.sink());
    const std::vector<std::string> expected = {
        "Test.Good: plugin destroyed", "Test.Good: controller factory destroyed",
        "Test.Good: algorithm factory destroyed", "Test.Good: module unloaded"};
    EXPECT_EQ(notes, expected);
}

TEST(PluginLoader, RefusesTheSameIdentifierTwiceAndKeepsTheFirst)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);
    ASSERT_TRUE(loader.load(pluginPath("single/good.so")).ok());

    const PluginLoadResult again = loader.load(pluginPath("single/good.so"));
    EXPECT_EQ(again.code, Code::AlreadyLoaded) << again.message;
    EXPECT_EQ(loader.plugins().size(), 1u);
    EXPECT_EQ(app.algorithmDescriptors().size(), 1u);
    // Closing the second handle must not have unloaded the module under the first.
    EXPECT_NE(app.instantiateAlgorithm("Test.Good.Echo"), nullptr);
}

TEST(PluginLoader, AcceptsAnOlderMinorHostVersionAndEmptyBuildFlags)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);
    const PluginLoadResult result = loader.load(pluginPath("single/older_minor.so"));
    ASSERT_TRUE(result.ok()) << result.message;
    const PluginDescriptor d = loader.plugins().front().descriptor;
    EXPECT_EQ(d.minor, 2);
    EXPECT_EQ(d.patch, 7);
    EXPECT_TRUE(d.buildFlags.empty());
    EXPECT_EQ(d.pluginVersion, "1.0");
}

TEST(PluginLoader, ADependencyMustBeLoadedFirstAndBlocksItsUnloading)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);

    const PluginLoadResult early = loader.load(pluginPath("dir/a_needs.so"));
    EXPECT_EQ(early.code, Code::MissingDependency);
    EXPECT_NE(early.message.find("needs Test.Provider"), std::string::npos) << early.message;

    ASSERT_TRUE(loader.load(pluginPath("dir/b_provider.so")).ok());
    ASSERT_TRUE(loader.load(pluginPath("dir/a_needs.so")).ok());

    EXPECT_FALSE(loader.unload("Test.Provider"));
    EXPECT_TRUE(loader.isLoaded("Test.Provider"));
    EXPECT_FALSE(loader.unload("Test.NotLoaded"));

    capture.sink().clear();
    loader.unloadAll();
    const std::vector<std::string> notes = moduleNotes(capture.sink());
    ASSERT_EQ(notes.size(), 8u);
    EXPECT_EQ(notes[0], "Test.Needs: plugin destroyed");  // reverse load order
    EXPECT_EQ(notes[3], "Test.Needs: module unloaded");
    EXPECT_EQ(notes[4], "Test.Provider: plugin destroyed");
}

TEST(PluginLoader, LoadsADirectoryRetryingModulesThatNeedALaterOne)
{
    ScopedLogCapture capture(0);
    ApplicationController app;
    PluginLoader loader(app);

    const std::vector<PluginLoadResult> results = loader.loadDirectory(pluginPath("dir"));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].path, pluginPath("dir/a_needs.so"));
    EXPECT_EQ(results[0].code, Code::Loaded) << results[0].message;
    EXPECT_EQ(results[1].code, Code::Loaded) << results[1].message;
    EXPECT_EQ(results[2].code, Code::MissingCreateExport) << results[2].message;
    EXPECT_EQ(loader.plugins().size(), 2u);
    // The first, deferred attempt at a_needs is not reported as a failure.
    EXPECT_EQ(capture.sink().countContaining("needs Test.Provider"), 1u);
    for (const auto& r : capture.sink().records()) {
        if (r.text.find("needs Test.Provider") != std::string::npos) {
            EXPECT_LT(r.level, 4);
        }
    }

    EXPECT_TRUE(loader.loadDirectory(pluginPath("no-such-directory")).empty());
    EXPECT_EQ(capture.sink().countContaining("Cannot read plugin directory"), 1u);
}

}  // namespace
}  // namespace Quorvane
