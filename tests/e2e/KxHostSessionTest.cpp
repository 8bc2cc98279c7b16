// kxhost's session on the real BulkSeal.kxl, in process: the module loaded
// through the platform layer, driven through register, create, the routine
// table, the event sink, a routine call and the release steps, with every
// reference count balanced at the end. Unlike the command-line test it needs
// no shell, so it also runs on Windows (under Wine in the cross build).
#include "KXMM/KXMM.h"
#include "framework/ValueRecord.h"
#include "host/Host.h"
#include "strings/MainPartition.h"

#include <gtest/gtest.h>

namespace {

using namespace ZEDA::PluginSupport;

// The test runs in the folder the programs and modules are built into.
constexpr char kModule[] = "./BulkSeal.kxl";

TEST(KxHostSession, RunsBulkSealAndBalancesEveryReference)
{
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    KxHost::ModuleSession session;
    ASSERT_NO_THROW(session.Open(kModule));

    const auto& routines = session.Routines();
    ASSERT_EQ(routines.size(), 3u);
    EXPECT_EQ(routines[0].name, "EncryptAllPlugins");
    EXPECT_EQ(routines[1].name, "EncryptPlugin");
    EXPECT_EQ(routines[2].name, "TestEncryptPlugins");
    EXPECT_EQ(routines[2].version, 2300);
    ASSERT_EQ(routines[1].slots.size(), 2u);
    EXPECT_EQ(routines[1].slots[0].tag, kTagString);
    EXPECT_EQ(routines[1].slots[1].tag, kTagBool);

    // Without a key the encryption service refuses the file: the handler
    // answers false, and the tag it writes shows that it ran.
    KxHost::ValueBlock block;
    KXPluginLibraryArgument(&block[0]).SetString(TXString("C:/Plug-ins/a.csm"));
    session.Execute(1, &block);
    EXPECT_EQ(block[11].tag, kTagBool);
    EXPECT_FALSE(KXPluginLibraryArgument(&block[11]).GetBool());

    EXPECT_TRUE(session.Close().empty());
}

TEST(KxHostSession, RefusesWhatIsNoPlugin)
{
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    KxHost::ModuleSession session;
    try {
        session.Open("./no such module.kxl");
        FAIL() << "a missing module opened";
    } catch (const KxHost::HostError& error) {
        EXPECT_EQ(error.ExitCode(), KxHost::kExitNotAPlugin);
    }
    EXPECT_TRUE(session.Close().empty());
}

} // namespace
