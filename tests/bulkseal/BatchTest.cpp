// The three batch routines against an in-memory host: which files go to the
// encryption service and with which target folder, the results log, a
// cancelled choice, and every host object given back, the last obtained
// first.
#include "tests/framework/FrameworkTestSupport.h"

#include "bulkseal/BulkSealRoutines.h"
#include "framework/HostInterfaces.h"
#include "framework/HostStubs.h"
#include "framework/ModuleEntry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace FrameworkTest {
namespace {

using namespace ZEDA::PluginSupport;
using namespace Calvera::Extension;

std::string Narrow(const TXString& text)
{
    return text.ToNarrow(kUTF8);
}

/// The host's state: files on its "disk", what the service was asked, and
/// every object handed out and given back, in order.
struct World {
    std::map<std::string, std::string> disk; // path -> content
    struct FileEntry {
        std::string path, name, extension;
    };
    std::vector<FileEntry> plugins;
    std::string chosen = "/out/"; // empty: the dialog is cancelled
    std::set<std::string> refused;
    std::vector<std::pair<std::string, std::string>> encrypted; // (path, target)
    std::vector<std::string> events;
    int live = 0;
};
World* world = nullptr;

template <typename I>
class Counted : public I {
public:
    explicit Counted(const char* kind) : kind(kind)
    {
        ++world->live;
        world->events.push_back(std::string("get ") + kind);
    }
    std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++count); }
    std::uint32_t Release() override
    {
        if (--count > 0)
            return static_cast<std::uint32_t>(count);
        world->events.push_back(std::string("release ") + kind);
        --world->live;
        delete this;
        return 0;
    }

private:
    int count = 1;
    const char* kind;
};

class Folder final : public Counted<IHostFolder> {
public:
    Folder() : Counted("folder") {}
    void GetFullPath(TXString& path) override { path = TXString(world->chosen.c_str()); }
};

class Chooser final : public Counted<IHostFolderChooser> {
public:
    Chooser() : Counted("chooser") {}
    void SetTitle(const TXString& title) override { this->title = Narrow(title); }
    std::int32_t GetChosenFolder(IHostFolder*& folder) override
    {
        folder = new Folder;
        return 0;
    }
    std::int32_t Run() override
    {
        world->events.push_back("run " + title);
        return world->chosen.empty() ? 1 : 0;
    }

private:
    std::string title;
};

class File final : public Counted<IHostFile> {
public:
    File() : Counted("file") {}
    void SetFullPath(const TXString& fullPath) override { path = Narrow(fullPath); }
    void Exists(bool& exists) override { exists = world->disk.count(path) != 0; }
    std::int32_t Delete() override { return world->disk.erase(path) == 1 ? 0 : 1; }
    std::string path;
};

class TextFile final : public Counted<IHostTextFile> {
public:
    TextFile() : Counted("text") {}
    std::int32_t Open(IHostFile* file, std::int32_t, std::int32_t) override
    {
        path = static_cast<File*>(file)->path;
        world->disk[path]; // created when missing
        return 0;
    }
    void Close() override { path.clear(); }
    std::int32_t GetLength(std::int64_t& length) override
    {
        length = static_cast<std::int64_t>(world->disk[path].size());
        return 0;
    }
    std::int32_t SetPosition(std::int64_t position) override
    {
        return position == static_cast<std::int64_t>(world->disk[path].size()) ? 0 : 1;
    }
    std::int32_t WriteLine(const TXString& line) override
    {
        world->disk[path] += Narrow(line) + "\n";
        return 0;
    }

private:
    std::string path;
};

class Application final : public InertApplication {
public:
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    std::int32_t WalkFolder(std::int32_t kind, FolderVisitor visit, void* context) override
    {
        if (kind != kFolderKindPlugins)
            return 1;
        for (const auto& f : world->plugins)
            visit(context, f.path.c_str(), f.name.c_str(), f.extension.c_str());
        return 0;
    }
};
Application application;

std::int32_t Query(const InterfaceID& id, IKXUnknown** out)
{
    if (id == IID_HostApplication)
        *out = &application;
    else if (id == IID_HostFolderChooser)
        *out = new Chooser;
    else if (id == IID_HostFile)
        *out = new File;
    else if (id == IID_HostTextFile)
        *out = new TextFile;
    else
        return 1;
    return 0;
}

bool Encrypt(const TXString& path, bool, TXString& target)
{
    world->encrypted.emplace_back(Narrow(path), Narrow(target));
    return world->refused.count(Narrow(path)) == 0;
}

HostServices services{nullptr, &Query, nullptr, nullptr};
bool GetServices(std::int16_t, std::int32_t*, HostServices** out, bool)
{
    *out = &services;
    return true;
}
HostFunction Resolve(std::int32_t entry)
{
    if (entry == GetHostServices::kEntry)
        return reinterpret_cast<HostFunction>(&GetServices);
    if (entry == EncryptScriptFile::kEntry)
        return reinterpret_cast<HostFunction>(&Encrypt);
    return nullptr;
}
HostCallbackBlock block{&Resolve};

IKXUnknown* Create(HostCallbackBlock* callbackBlock)
{
    return new BulkSeal::CBulkSealCSFuncs(callbackBlock, BulkSeal::kRoutineTable);
}
bool Never(IKXUnknown*)
{
    return false;
}
const ModuleDescription kModule{BulkSeal::kExtensionId, IID_ExtensionCSFunctions, &Create, &Never};

class BatchTest : public FrameworkTestBase {
protected:
    void SetUp() override
    {
        FrameworkTestBase::SetUp();
        world = &state;
        state.plugins = {{"/p/a.CSM", "a.CSM", "CSM"}, {"/p/sub/b.Cst", "b.Cst", "Cst"},
                         {"/p/c.cso", "c.cso", "cso"}, {"/p/d.csmx", "d.csmx", "csmx"},
                         {"/p/e.txt", "e.txt", "txt"}, {"/p/README", "README", ""}};
        // Connecting the way every entry does makes the application known.
        ModuleMain(kModule, 0, nullptr, nullptr, nullptr, &block);
        extension = new BulkSeal::CBulkSealCSFuncs(&block, BulkSeal::kRoutineTable);
        extension->AddRef();
        sink = static_cast<ICSFunctionsEventSink*>(extension->GetEventSink(IID_CSFunctionsEventSink));
    }
    void TearDown() override
    {
        sink->Release();
        extension->Release();
        delete extension;
        EXPECT_EQ(state.live, 0); // every host object given back
        world = nullptr;
        FrameworkTestBase::TearDown();
    }
    void Run(std::uint32_t routine)
    {
        KXPluginLibraryArgTable call;
        sink->ExecuteRoutine(routine, call.GetValueBlock());
    }
    std::vector<std::string> Encrypted() const
    {
        std::vector<std::string> paths;
        for (const auto& [path, target] : state.encrypted)
            paths.push_back(path + " -> " + target);
        return paths;
    }

    World state;
    BulkSeal::CBulkSealCSFuncs* extension = nullptr;
    ICSFunctionsEventSink* sink = nullptr;
};

constexpr std::uint32_t kAll = 0;
constexpr std::uint32_t kOne = 1;
constexpr std::uint32_t kTest = 2;
const std::string kLog = "/out/__EncryptionResults.txt";

TEST_F(BatchTest, ATestRunEncryptsTheScriptFilesAndLogsEachOnceInWalkOrder)
{
    state.disk[kLog] = "OK old.csm\n"; // an earlier run's log
    state.refused = {"/p/c.cso"};
    Run(kTest);
    EXPECT_EQ(Encrypted(),
              (std::vector<std::string>{"/p/a.CSM -> /out/", "/p/sub/b.Cst -> /out/", "/p/c.cso -> /out/"}));
    EXPECT_EQ(state.disk[kLog], "OK a.CSM\nOK b.Cst\nFAIL c.cso\n");
    EXPECT_EQ(state.events.at(0), "get chooser");
    EXPECT_EQ(state.events.at(1), "run Choose Test Encrypt plug-ins folder");
    // Each step gives its objects back, the last obtained first.
    const std::vector<std::string> choice(state.events.begin() + 2, state.events.begin() + 7);
    EXPECT_EQ(choice, (std::vector<std::string>{"get folder", "get file", "release file", "release folder",
                                                "release chooser"}));
    const std::vector<std::string> line(state.events.begin() + 7, state.events.begin() + 11);
    EXPECT_EQ(line, (std::vector<std::string>{"get file", "get text", "release text", "release file"}));
}

TEST_F(BatchTest, ACancelledChoiceChangesNothing)
{
    state.disk[kLog] = "OK old.csm\n";
    state.chosen.clear();
    Run(kTest);
    EXPECT_TRUE(state.encrypted.empty());
    EXPECT_EQ(state.disk[kLog], "OK old.csm\n");
}

TEST_F(BatchTest, EncryptAllPluginsEncryptsInPlaceAndLogsNothingAfterATestRun)
{
    Run(kTest);
    state.encrypted.clear();
    state.disk.clear();
    Run(kAll);
    EXPECT_EQ(Encrypted(), (std::vector<std::string>{"/p/a.CSM -> ", "/p/sub/b.Cst -> ", "/p/c.cso -> "}));
    EXPECT_TRUE(state.disk.empty());
}

TEST_F(BatchTest, EncryptPluginWithABooleanPassesAnEmptyPath)
{
    KXPluginLibraryArgTable call;
    call.GetArgument(0).SetBool(true);
    sink->ExecuteRoutine(kOne, call.GetValueBlock());
    EXPECT_EQ(Encrypted(), std::vector<std::string>{" -> "});
    EXPECT_TRUE(call.GetResult().GetBool()); // what the host answered

    sink->ExecuteRoutine(static_cast<std::uint32_t>(-1), call.GetValueBlock());
    Run(kAll + 3);
    EXPECT_EQ(state.encrypted.size(), 1u); // neither -1 nor an index past the table ran anything
}

} // namespace
} // namespace FrameworkTest
