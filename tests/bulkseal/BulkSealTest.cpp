// The BulkSeal extension as the host sees it: its routine table word for
// word, its name and version, and its handler reached through the event sink.
#include "tests/framework/FrameworkTestSupport.h"

#include "bulkseal/BulkSealRoutines.h"
#include "framework/HostStubs.h"

#include <string>

namespace FrameworkTest {
namespace {

using namespace ZEDA::PluginSupport;
using BulkSeal::CBulkSealCSFuncs;
using BulkSealTest = FrameworkTestBase;

std::string Narrow(const TXString& text)
{
    return text.ToNarrow(kUTF8);
}

struct Row {
    const char* name;
    const char* description;
    std::int32_t version;
    bool returnsValue;
    std::vector<std::pair<std::string, std::uint16_t>> arguments;
};

TEST_F(BulkSealTest, TheRoutineTableAsTheHostReadsIt)
{
    const Row expected[] = {
        {"EncryptAllPlugins", "This will do batch encryption of all Calscript plug-ins in the Plug-ins folder.", 1900,
         false, {}},
        {"EncryptPlugin", "Encrypt one Calscript Plug-in file.", 1900, true,
         {{"fullPath", kTagString}, {"returnVal", kTagBool}}},
        {"TestEncryptPlugins",
         "This will test do batch encryption of all Calscript plug-ins in the Plug-ins folder and put the reuslt in a "
         "test folder.",
         2300, false, {}},
    };
    CBulkSealCSFuncs extension(nullptr, BulkSeal::kRoutineTable);
    EXPECT_EQ(Narrow(extension.GetExtensionName()), "BulkSealCSFuncs");
    EXPECT_EQ(extension.GetExtensionVersion(), 1u);
    ASSERT_EQ(extension.GetRoutineCount(), std::size(expected));
    for (std::uint64_t i = 0; i < std::size(expected); ++i) {
        const Row& row = expected[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Narrow(extension.GetRoutineName(i)), row.name);
        EXPECT_EQ(Narrow(extension.GetRoutineCategory(i)), "Utility");
        EXPECT_EQ(Narrow(extension.GetRoutineDescription(i)), row.description);
        EXPECT_EQ(extension.GetRoutineVersion(i), row.version);
        EXPECT_EQ(extension.GetRoutineReturnsValue(i), row.returnsValue);
        EXPECT_FALSE(extension.GetRoutineExtraFlag(i));
        ASSERT_EQ(extension.GetArgumentCount(i), row.arguments.size());
        for (std::uint64_t k = 0; k < row.arguments.size(); ++k) {
            EXPECT_EQ(Narrow(extension.GetArgumentName(i, k)), row.arguments[k].first);
            EXPECT_EQ(extension.GetArgumentType(i, k), row.arguments[k].second);
        }
    }
}

std::string encryptedPath;
HostFunction ResolveEncrypt(std::int32_t entry)
{
    if (entry != EncryptScriptFile::kEntry)
        return nullptr;
    return reinterpret_cast<HostFunction>(+[](const TXString& path, bool, TXString&) {
        encryptedPath = Narrow(path);
        return encryptedPath.ends_with(".csm");
    });
}
HostCallbackBlock encryptingHost{&ResolveEncrypt};

TEST_F(BulkSealTest, EncryptPluginReachesTheHostThroughTheSink)
{
    CBulkSealCSFuncs extension(&encryptingHost, BulkSeal::kRoutineTable);
    extension.AddRef();
    auto* sink = static_cast<Calvera::Extension::ICSFunctionsEventSink*>(
        extension.GetEventSink(Calvera::Extension::IID_CSFunctionsEventSink));
    ASSERT_NE(sink, nullptr);
    Module().callbackBlock = &encryptingHost;

    for (const auto& [path, encrypted] : {std::pair{"/p/a.csm", true}, std::pair{"/p/b.txt", false}}) {
        KXPluginLibraryArgTable call;
        call.GetArgument(0).SetString(TXString(path));
        sink->ExecuteRoutine(1, call.GetValueBlock());
        EXPECT_EQ(encryptedPath, path);
        EXPECT_EQ(call.GetResult().GetBool(), encrypted);
        EXPECT_EQ(call.GetValueBlock()[11].tag, kTagBool);
    }

    // Without the host's entry the routine answers false; without a value
    // block, and for indexes outside the table, nothing happens.
    Module().callbackBlock = nullptr;
    KXPluginLibraryArgTable call;
    call.GetArgument(0).SetString(TXString("/p/c.csm"));
    sink->ExecuteRoutine(1, call.GetValueBlock());
    EXPECT_FALSE(call.GetResult().GetBool());
    EXPECT_EQ(sink->ExecuteRoutine(1, nullptr), 0);
    EXPECT_EQ(sink->ExecuteRoutine(3, call.GetValueBlock()), 0);
    EXPECT_EQ(sink->ExecuteRoutine(0xFFFFFFFFu, call.GetValueBlock()), 0);

    sink->Release();
    EXPECT_EQ(extension.Release(), 0u);
}

} // namespace
} // namespace FrameworkTest
