// The script-function extension framework: the routine-table queries and
// their string cache, the event-sink and custom-sink rules, handlers on each
// call, and the whole reference-count dance as a host performs it.
#include "tests/framework/FrameworkTestSupport.h"

#include "framework/ScriptFunctions.h"
#include "tests/strings/TXStringTestSupport.h"

#include <new>
#include <string>
#include <vector>

namespace FrameworkTest {
namespace {

using namespace ZEDA::PluginSupport;
using Calvera::Extension::IEventSink;
using Calvera::Extension::IID_CSFunctionsEventSink;

const RoutineDescription kTable[] = {
    {"First", "Utility", "the first one", 3100, false, false, {{"path", kTagString}}},
    {"Second", "Utility", "returns a flag", 3100, true, true, {{"x", kTagInt32}, {"done", kTagBool}}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};
const RoutineDescription kEmptyTable[] = {{nullptr, nullptr, nullptr, 0, false, false, {}}};

constexpr InterfaceID kCustomSinkId{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

/// Notes every call it sees.
class Recorder : public KXPluginLibraryRoutine {
public:
    Recorder(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void Execute(std::int32_t routineIndex, KXPluginLibraryArgTable& arguments) override
    {
        log.push_back(name + ":" + std::to_string(routineIndex) + (arguments.GetValueBlock() ? "" : ":no block"));
    }

private:
    std::vector<std::string>& log;
    std::string name;
};

class CustomSink : public KCOMImpl<IEventSink> {
public:
    using KCOMImpl::KCOMImpl;
};

class TestExtension : public KXExtensionCSFunctions {
public:
    TestExtension(const RoutineDescription* table, bool offerCustom = false)
        : KXExtensionCSFunctions(nullptr, table), offerCustom(offerCustom)
    {
    }
    const TXString& GetExtensionName() override { return name; }
    std::uint32_t GetExtensionVersion() override { return 1; }

    IEventSink* Sink() const { return eventSink; }
    IEventSink* Custom() const { return customSink; }
    std::vector<std::string> log;
    int sinksCreated = 0;

protected:
    void AttachRoutines() override
    {
        auto* sink = static_cast<KXCSFunctions_EventSink*>(eventSink);
        sink->AddRoutine(new Recorder(log, "owned"), false);
        sink->AddRoutine(&borrowed, true);
    }
    IEventSink* CreateEventSink(IKXUnknown* parent) override
    {
        ++sinksCreated;
        return new KXCSFunctions_EventSink(parent);
    }
    bool GetCustomSinkIdentifier(InterfaceID& out) override
    {
        out = kCustomSinkId;
        return offerCustom;
    }
    IEventSink* CreateCustomSink(IKXUnknown* parent) override { return new CustomSink(parent); }

private:
    TXString name{"TestExtension"};
    bool offerCustom;
    Recorder borrowed{log, "borrowed"};
};

using ScriptFunctionsTest = FrameworkTestBase;

TEST_F(ScriptFunctionsTest, RoutineTableQueries)
{
    TestExtension extension(kTable);
    EXPECT_EQ(extension.GetRoutineCount(), 2u);
    EXPECT_TRUE(extension.GetRoutineName(1).Equal(TXString("Second")));
    EXPECT_TRUE(extension.GetRoutineCategory(0).Equal(TXString("Utility")));
    EXPECT_TRUE(extension.GetRoutineDescription(1).Equal(TXString("returns a flag")));
    EXPECT_EQ(extension.GetRoutineVersion(0), 3100);
    EXPECT_TRUE(extension.GetRoutineReturnsValue(1));
    EXPECT_TRUE(extension.GetRoutineExtraFlag(1));
    EXPECT_EQ(extension.GetArgumentCount(0), 1u);
    EXPECT_EQ(extension.GetArgumentCount(1), 2u);
    EXPECT_TRUE(extension.GetArgumentName(1, 1).Equal(TXString("done")));
    EXPECT_EQ(extension.GetArgumentType(1, 0), kTagInt32);
    EXPECT_EQ(extension.GetAuxiliaryData(), 0u);

    EXPECT_EQ(TestExtension(kEmptyTable).GetRoutineCount(), 0u);
    EXPECT_EQ(TestExtension(nullptr).GetRoutineCount(), 0u);
}

TEST_F(ScriptFunctionsTest, TheStringCacheHandsOutOneObjectAndAllocatesOnce)
{
    TestExtension extension(kTable);
    const TXString& first = extension.GetRoutineName(0);
    const AllocationWindow window;
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(&extension.GetRoutineName(0), &first);
    EXPECT_EQ(window.News(), 0u);
    // Both routines share the category's text but not its address in every
    // build, so only the same table string is promised the same object.
    EXPECT_EQ(&extension.GetRoutineCategory(0), &extension.GetRoutineCategory(0));
}

TEST_F(ScriptFunctionsTest, EventSinkRules)
{
    TestExtension extension(kTable, true);
    extension.AddRef();
    IEventSink* sink = extension.GetEventSink(IID_CSFunctionsEventSink);
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(extension.GetEventSink(IID_CSFunctionsEventSink), sink);
    EXPECT_EQ(extension.sinksCreated, 1);
    auto* concrete = dynamic_cast<KXCSFunctions_EventSink*>(sink);
    ASSERT_NE(concrete, nullptr);
    EXPECT_EQ(concrete->ReferenceCount(), 1); // one reference in all
    EXPECT_TRUE(concrete->name.Equal(TXString("TestExtension")));

    IEventSink* custom = extension.GetEventSink(kCustomSinkId);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(extension.GetEventSink(kCustomSinkId), custom);
    EXPECT_EQ(static_cast<CustomSink*>(custom)->ReferenceCount(), 2); // one per request

    EXPECT_EQ(extension.GetEventSink(InterfaceID{}), nullptr);
    EXPECT_EQ(extension.sinksCreated, 1);
    // The host gives back what it asked for; each sink then lets go of the
    // extension, whose last release destroys both sinks.
    sink->Release();
    custom->Release();
    custom->Release();
    EXPECT_EQ(extension.Release(), 0u);
    EXPECT_EQ(extension.Sink(), nullptr);
    EXPECT_EQ(extension.Custom(), nullptr);
}

TEST_F(ScriptFunctionsTest, EveryHandlerSeesEveryCallLastAttachedFirst)
{
    TestExtension extension(kTable);
    extension.AddRef();
    auto* sink = static_cast<KXCSFunctions_EventSink*>(extension.GetEventSink(IID_CSFunctionsEventSink));
    KXPluginLibraryArgTable own;
    EXPECT_EQ(sink->ExecuteRoutine(1, own.GetValueBlock()), 0);
    EXPECT_EQ(sink->ExecuteRoutine(0, nullptr), 0);
    EXPECT_EQ(extension.log,
              (std::vector<std::string>{"borrowed:1", "owned:1", "borrowed:0:no block", "owned:0:no block"}));
    sink->Release();
    extension.Release(); // the sink goes, with the handler it owns (LeakSanitizer checks)
}

class Throwing : public KXPluginLibraryRoutine {
public:
    void Execute(std::int32_t, KXPluginLibraryArgTable&) override { throw std::bad_alloc(); }
};

TEST_F(ScriptFunctionsTest, AFailingHandlerStaysOnThePluginSide)
{
    TestExtension extension(kTable);
    extension.AddRef();
    auto* sink = static_cast<KXCSFunctions_EventSink*>(extension.GetEventSink(IID_CSFunctionsEventSink));
    Throwing throwing;
    sink->AddRoutine(&throwing, true);
    EXPECT_EQ(sink->ExecuteRoutine(0, nullptr), 0);
    EXPECT_EQ(extension.log.size(), 2u); // the handlers behind it still ran
    sink->Release();
    extension.Release();
}

// The host's order of events, in both orders in which it may give its
// references back; the sink's last release can end the extension's count,
// which destroys the sink while its Release still runs (AddressSanitizer
// checks). Each ends with the host told once and every count at 0.
TEST_F(ScriptFunctionsTest, HostReleasesInEitherOrder)
{
    for (const bool sinkFirst : {true, false}) {
        SCOPED_TRACE(sinkFirst ? "sink first" : "extension first");
        host.released.clear();
        TestExtension extension(kTable);
        extension.AddRef();
        IEventSink* sink = extension.GetEventSink(IID_CSFunctionsEventSink);
        ASSERT_NE(sink, nullptr);
        if (sinkFirst) {
            EXPECT_EQ(sink->Release(), 0u);
            EXPECT_EQ(extension.Release(), 0u);
        } else {
            EXPECT_EQ(extension.Release(), 1u); // the sink still holds it
            EXPECT_EQ(sink->Release(), 0u);
        }
        EXPECT_EQ(extension.Sink(), nullptr);
        EXPECT_EQ(extension.ReferenceCount(), 0);
        EXPECT_EQ(host.released, std::vector<IKXUnknown*>{&extension});
    }
}

} // namespace
} // namespace FrameworkTest
